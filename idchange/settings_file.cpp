#include "settings_file.h"

#include "day_log_file.h"
#include "numeric.h"

#include <cstdio>
#include <filesystem>
#include <fstream>

namespace qrv {

namespace {

// The two fields sit at the start; a larger file is no settings file of ours.
constexpr std::size_t max_settings_bytes = 64 * 1024;

bool is_line_end(char c)
{
    return c == '\r' || c == '\n';
}

// The text of UTF-16 code units after a byte order mark, little- or big-endian.
std::string narrowed(std::string_view units, bool little_endian)
{
    std::string text;
    for (std::size_t i = 0; i + 1 < units.size(); i += 2) {
        const auto low = static_cast<unsigned char>(units[i + (little_endian ? 0 : 1)]);
        const auto high = static_cast<unsigned char>(units[i + (little_endian ? 1 : 0)]);
        text += high == 0 && low < 0x80 ? static_cast<char>(low) : '?';
    }
    return text;
}

} // namespace

std::string settings_text(std::string_view bytes)
{
    if (bytes.starts_with("\xEF\xBB\xBF"))
        return std::string(bytes.substr(3));
    if (bytes.starts_with("\xFF\xFE") || bytes.starts_with("\xFE\xFF"))
        return narrowed(bytes.substr(2), bytes[0] == '\xFF');
    return std::string(bytes);
}

std::vector<std::string> read_fields(std::string_view bytes, std::size_t max_fields)
{
    std::vector<std::string> fields;
    std::size_t i = 0;
    while (fields.size() < max_fields && i < bytes.size()) {
        while (i < bytes.size() && is_blank(bytes[i]))
            ++i;
        std::string field;
        if (i < bytes.size() && bytes[i] == '"') {
            const std::size_t close = bytes.find('"', i + 1);
            const std::size_t end = close == std::string_view::npos ? bytes.size() : close;
            field.assign(bytes.substr(i + 1, end - i - 1));
            i = end == bytes.size() ? end : end + 1;
            while (i < bytes.size() && bytes[i] != ',' && !is_line_end(bytes[i]))
                ++i;
        } else {
            const std::size_t start = i;
            while (i < bytes.size() && bytes[i] != ',' && !is_line_end(bytes[i]))
                ++i;
            field.assign(bytes.substr(start, i - start));
        }
        fields.push_back(std::move(field));
        // Step over the field's end: a comma, CR LF, CR or LF.
        if (i < bytes.size() && bytes[i] == '\r' && i + 1 < bytes.size() && bytes[i + 1] == '\n')
            i += 2;
        else if (i < bytes.size())
            ++i;
    }
    return fields;
}

bool settings_file_present(const std::string& path)
{
    std::error_code ec;
    return std::filesystem::is_regular_file(file_path(path), ec);
}

std::optional<PortSettings> load_port_settings(const std::string& path)
{
    std::ifstream in(file_path(path), std::ios::binary);
    if (!in)
        return std::nullopt;
    std::string bytes(max_settings_bytes + 1, '\0');
    in.read(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (in.bad())
        return std::nullopt;
    bytes.resize(static_cast<std::size_t>(in.gcount()));
    if (bytes.size() > max_settings_bytes)
        return std::nullopt;
    auto fields = read_fields(settings_text(bytes), 2);
    if (fields.size() < 2)
        return std::nullopt;
    return PortSettings{std::move(fields[0]), std::move(fields[1])};
}

std::optional<int> stored_index(const std::string& text, int count)
{
    const auto value = round_to_i16(leading_value(text));
    if (!value || *value < 0 || *value >= count)
        return std::nullopt;
    return *value;
}

std::string settings_record(const PortSettings& settings)
{
    return "\"" + settings.saved_port_index + "\",\"" + settings.saved_baud_index + "\"\r\n";
}

bool save_settings_file(const std::string& path, const PortSettings& settings)
{
    const std::string record = settings_record(settings);
    std::ofstream out(file_path(path), std::ios::binary | std::ios::trunc);
    out.write(record.data(), static_cast<std::streamsize>(record.size()));
    out.close();
    return !out.fail();
}

} // namespace qrv
