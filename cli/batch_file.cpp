#include "batch_file.h"

#include "day_log_file.h"
#include "texts.h"
#include "vocabulary.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <charconv>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>

namespace qrv::cli {

namespace {

constexpr std::size_t max_errors = 20;
constexpr std::string_view utf8_bom = "\xEF\xBB\xBF";

// What a Chinese keyboard types for a list's characters: full-width digits,
// commas, the ideographic comma, the ideographic space and the full-width #.
std::string as_ascii(std::string_view text)
{
    static constexpr std::pair<std::string_view, char> wide[] = {
        {"\xEF\xBC\x8C", ','}, {"\xE3\x80\x81", ','}, {"\xE3\x80\x80", ' '}, {"\xEF\xBC\x83", '#'}};
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        // Full-width 0 to 9: EF BC 90 to EF BC 99.
        if (text.substr(i, 2) == "\xEF\xBC" && i + 2 < text.size() &&
            static_cast<unsigned char>(text[i + 2]) >= 0x90 &&
            static_cast<unsigned char>(text[i + 2]) <= 0x99) {
            out += static_cast<char>('0' + (static_cast<unsigned char>(text[i + 2]) - 0x90));
            i += 2;
            continue;
        }
        const auto* match = std::ranges::find_if(
            wide, [&](const auto& w) { return text.substr(i, w.first.size()) == w.first; });
        if (match != std::end(wide)) {
            out += match->second;
            i += match->first.size() - 1;
        } else {
            out += text[i];
        }
    }
    return out;
}

// A character as UTF-8.
void put_utf8(std::string& out, char32_t c)
{
    if (c < 0x80) {
        out += static_cast<char>(c);
        return;
    }
    static constexpr unsigned char lead[] = {0, 0xC0, 0xE0, 0xF0};
    const int extra = c < 0x800 ? 1 : c < 0x10000 ? 2 : 3;
    out += static_cast<char>(lead[extra] | (c >> (6 * extra)));
    for (int k = extra - 1; k >= 0; --k)
        out += static_cast<char>(0x80 | ((c >> (6 * k)) & 0x3F));
}

// UTF-16 after its byte order mark (Notepad's "Unicode"), as UTF-8; nothing
// when it is not whole UTF-16.
std::optional<std::string> from_utf16(std::string_view bytes, bool big_endian)
{
    if (bytes.size() % 2)
        return std::nullopt;
    const auto unit = [&](std::size_t i) {
        const auto b = [&](std::size_t k) { return static_cast<unsigned char>(bytes[k]); };
        return static_cast<char32_t>(big_endian ? b(i) << 8 | b(i + 1) : b(i + 1) << 8 | b(i));
    };
    std::string out;
    for (std::size_t i = 0; i < bytes.size(); i += 2) {
        char32_t c = unit(i);
        if (c >= 0xDC00 && c < 0xE000)
            return std::nullopt;
        if (c >= 0xD800 && c < 0xDC00) {
            const char32_t low = i + 3 < bytes.size() ? unit(i + 2) : 0;
            if (low < 0xDC00 || low >= 0xE000)
                return std::nullopt;
            c = 0x10000 + ((c - 0xD800) << 10) + (low - 0xDC00);
            i += 2;
        }
        put_utf8(out, c);
    }
    return out;
}

std::string_view trim(std::string_view text)
{
    const auto first = text.find_first_not_of(" \t\r");
    if (first == std::string_view::npos)
        return {};
    return text.substr(first, text.find_last_not_of(" \t\r") - first + 1);
}

// The two IDs of a line's text, or nothing: apart by blanks, a comma, or a
// comma with blanks on either side.
bool parse_pair(std::string_view text, BatchLine& change)
{
    const auto split = text.find_first_of(" \t,");
    if (split == std::string_view::npos)
        return false;
    std::string_view rest = trim(text.substr(split));
    if (rest.starts_with(','))
        rest = trim(rest.substr(1));
    return parse_id(text.substr(0, split), change.old_id) && parse_id(rest, change.new_id);
}

// Lines that take each ID, as old and as new; 0: none.
struct Taken {
    std::array<int, max_id + 1> old_at{}, new_at{};
};

// Why a well-formed line cannot join the lines before it; "" when it can.
std::string conflict(const BatchLine& c, const Taken& taken)
{
    if (c.old_id == c.new_id)
        return text_same_ids;
    if (const int other = taken.new_at[c.new_id])
        return text_new_id_twice(c.new_id, other);
    if (const int other = taken.old_at[c.old_id])
        return text_old_id_twice(c.old_id, other);
    return {};
}

// All of in, at most one byte beyond max_batch_bytes.
FileBytes read_batch(std::istream& in)
{
    FileBytes got;
    try {
        std::istreambuf_iterator<char> from(in), end;
        for (; from != end && got.bytes.size() <= max_batch_bytes; ++from)
            got.bytes += *from;
    } catch (const std::exception&) {
        // The library reports a failing read so; errno says why.
        in.setstate(std::ios::badbit);
    }
    if (in.bad() || (!in && !in.eof() && got.bytes.empty()))
        got.error = text_unreadable(std::strerror(errno ? errno : EIO));
    // It may have grown since it was measured, or come from a pipe.
    if (got.bytes.size() > max_batch_bytes)
        got.error = text_file_too_big;
    return got;
}

} // namespace

bool parse_id(std::string_view text, std::uint8_t& id)
{
    unsigned value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || ec != std::errc{} || end != text.data() + text.size() || value < 1 ||
        value > max_id)
        return false;
    id = static_cast<std::uint8_t>(value);
    return true;
}

namespace {

// The list's text as UTF-8 without its byte order mark; nothing when it is
// no text.
std::optional<std::string> list_text(std::string_view bytes)
{
    std::optional<std::string> text;
    if (bytes.starts_with("\xFF\xFE") || bytes.starts_with("\xFE\xFF"))
        text = from_utf16(bytes.substr(2), bytes[0] == '\xFE');
    else
        text = std::string(bytes.starts_with(utf8_bom) ? bytes.substr(utf8_bom.size()) : bytes);
    if (!text || text->find('\0') != std::string::npos)
        return std::nullopt;
    return as_ascii(*text);
}

} // namespace

BatchFile parse_batch(std::string_view bytes)
{
    BatchFile batch;
    const std::optional<std::string> text = list_text(bytes);
    if (!text) {
        batch.errors.push_back(text_not_text);
        return batch;
    }
    std::vector<std::pair<int, std::string>> errors; // by line
    Taken taken;
    int number = 0;
    for (std::size_t pos = 0; pos < text->size();) {
        const std::size_t end = std::min(text->find('\n', pos), text->size());
        std::string_view line = std::string_view(*text).substr(pos, end - pos);
        pos = end + 1;
        ++number;
        line = trim(line.substr(0, line.find('#')));
        if (line.empty())
            continue;
        BatchLine change{number};
        const std::string why = parse_pair(line, change) ? conflict(change, taken) : text_bad_line;
        if (!why.empty()) {
            errors.emplace_back(number, text_at_line(number, why));
            continue;
        }
        taken.new_at[change.new_id] = taken.old_at[change.old_id] = number;
        batch.changes.push_back(change);
    }
    // A new ID that a later line's device still holds would put two devices
    // on one address, or find it taken; an earlier line's device has left it.
    for (const BatchLine& change : batch.changes)
        if (const int other = taken.old_at[change.new_id]; other > change.line)
            errors.emplace_back(
                change.line, text_at_line(change.line, text_new_id_is_old(change.new_id, other)));
    std::ranges::stable_sort(errors, {}, &std::pair<int, std::string>::first);
    for (auto& [line, why] : errors)
        if (batch.errors.size() < max_errors)
            batch.errors.push_back(std::move(why));
        else
            ++batch.more_errors;
    if (batch.changes.empty() && batch.errors.empty())
        batch.errors.push_back(text_no_changes);
    return batch;
}

FileBytes read_batch_file(const std::string& path)
{
    namespace fs = std::filesystem;
    std::error_code ec;
    const fs::path file = file_path(path);
    if (!fs::is_regular_file(file, ec))
        return {{}, fs::exists(file, ec) ? text_not_a_file : text_no_file};
    if (fs::file_size(file, ec) > max_batch_bytes)
        return {{}, text_file_too_big};
    errno = 0;
    std::ifstream in(file, std::ios::binary);
    return read_batch(in);
}

} // namespace qrv::cli
