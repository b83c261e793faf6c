#include "batch_file.h"

#include "day_log_file.h"
#include "texts.h"
#include "vocabulary.h"

#include <array>
#include <cerrno>
#include <charconv>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>

namespace qrv::cli {

namespace {

constexpr std::size_t max_errors = 20;
constexpr std::string_view utf8_bom = "\xEF\xBB\xBF";

std::string_view trim(std::string_view text)
{
    const auto first = text.find_first_not_of(" \t\r");
    if (first == std::string_view::npos)
        return {};
    return text.substr(first, text.find_last_not_of(" \t\r") - first + 1);
}

// The two IDs of a line's text, or nothing.
bool parse_pair(std::string_view text, BatchLine& change)
{
    const auto split = text.find_first_of(" \t,");
    return split != std::string_view::npos &&
           parse_id(trim(text.substr(0, split)), change.old_id) &&
           parse_id(trim(text.substr(split + 1)), change.new_id);
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

BatchFile parse_batch(std::string_view bytes)
{
    BatchFile batch;
    if (bytes.find('\0') != std::string_view::npos) {
        batch.errors.push_back(text_not_text);
        return batch;
    }
    if (bytes.starts_with(utf8_bom))
        bytes.remove_prefix(utf8_bom.size());
    const auto error = [&batch](std::string why) {
        if (batch.errors.size() < max_errors)
            batch.errors.push_back(std::move(why));
        else
            ++batch.more_errors;
    };
    Taken taken;
    int number = 0;
    for (std::size_t pos = 0; pos < bytes.size();) {
        const std::size_t end = std::min(bytes.find('\n', pos), bytes.size());
        std::string_view text = bytes.substr(pos, end - pos);
        pos = end + 1;
        ++number;
        text = trim(text.substr(0, text.find('#')));
        if (text.empty())
            continue;
        BatchLine change{number};
        const std::string why = parse_pair(text, change) ? conflict(change, taken) : text_bad_line;
        if (!why.empty()) {
            error(text_at_line(number, why));
            continue;
        }
        taken.new_at[change.new_id] = taken.old_at[change.old_id] = number;
        batch.changes.push_back(change);
    }
    // A new ID that another line's device still holds would put two devices
    // on one address, or find it taken, depending on the order.
    for (const BatchLine& change : batch.changes)
        if (taken.old_at[change.new_id])
            error(text_at_line(change.line,
                               text_new_id_is_old(change.new_id, taken.old_at[change.new_id])));
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
