#include "batch_file.h"

#include <array>
#include <charconv>

namespace qrv::cli {

namespace {

constexpr std::size_t max_errors = 20;

std::string_view trim(std::string_view text)
{
    const auto first = text.find_first_not_of(" \t\r");
    if (first == std::string_view::npos)
        return {};
    return text.substr(first, text.find_last_not_of(" \t\r") - first + 1);
}

std::string at(int line, const std::string& what)
{
    return "第" + std::to_string(line) + "行：" + what;
}

} // namespace

bool parse_id(std::string_view text, std::uint8_t& id)
{
    unsigned value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || ec != std::errc{} || end != text.data() + text.size() || value < 1 ||
        value > 247)
        return false;
    id = static_cast<std::uint8_t>(value);
    return true;
}

BatchFile parse_batch(std::string_view bytes)
{
    BatchFile batch;
    if (bytes.find('\0') != std::string_view::npos) {
        batch.errors.push_back("不是文本文件");
        return batch;
    }
    // The line that takes each ID, as old and as new; 0: none.
    std::array<int, 248> old_at{}, new_at{};
    int number = 0;
    for (std::size_t pos = 0; pos < bytes.size() && batch.errors.size() < max_errors;) {
        const std::size_t end = std::min(bytes.find('\n', pos), bytes.size());
        std::string_view text = bytes.substr(pos, end - pos);
        pos = end + 1;
        ++number;
        text = trim(text.substr(0, text.find('#')));
        if (text.empty())
            continue;
        const auto split = text.find_first_of(" \t,");
        const std::string_view rest = split == std::string_view::npos ? "" : text.substr(split + 1);
        BatchLine change{number};
        if (split == std::string_view::npos ||
            !parse_id(trim(text.substr(0, split)), change.old_id) ||
            !parse_id(trim(rest), change.new_id)) {
            batch.errors.push_back(at(number, "应为“原ID 新ID”，ID为1~247的整数"));
            continue;
        }
        if (change.old_id == change.new_id)
            batch.errors.push_back(at(number, "新ID与原ID相同"));
        else if (new_at[change.new_id])
            batch.errors.push_back(at(number, "新ID " + std::to_string(change.new_id) + " 已在第" +
                                                  std::to_string(new_at[change.new_id]) +
                                                  "行使用"));
        else if (old_at[change.old_id])
            batch.errors.push_back(at(number, "原ID " + std::to_string(change.old_id) + " 已在第" +
                                                  std::to_string(old_at[change.old_id]) +
                                                  "行更改"));
        new_at[change.new_id] = old_at[change.old_id] = number;
        batch.changes.push_back(change);
    }
    // A new ID that another line's device still holds would put two devices
    // on one address, or find it taken, depending on the order.
    for (const BatchLine& change : batch.changes)
        if (old_at[change.new_id] && batch.errors.size() < max_errors)
            batch.errors.push_back(
                at(change.line, "新ID " + std::to_string(change.new_id) + " 是第" +
                                    std::to_string(old_at[change.new_id]) + "行的原ID"));
    if (batch.changes.empty() && batch.errors.empty())
        batch.errors.push_back("文件中没有要更改的ID");
    return batch;
}

} // namespace qrv::cli
