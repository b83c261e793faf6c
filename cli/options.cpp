#include "options.h"

#include "arg_scanner.h"
#include "batch_file.h"
#include "texts.h"
#include "vocabulary.h"

#include <algorithm>
#include <charconv>
#include <limits>
#include <set>
#include <string_view>

namespace qrv::cli {

namespace {

bool parse_number(std::string_view text, int lo, int hi, int& out)
{
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), out);
    return !text.empty() && ec == std::errc{} && end == text.data() + text.size() && out >= lo &&
           out <= hi;
}

bool all_digits(std::string_view text)
{
    return !text.empty() && std::ranges::all_of(text, [](char c) { return c >= '0' && c <= '9'; });
}

bool take_port(Options& opt, const std::string& v)
{
    opt.port = v;
    int n = 0;
    return !v.empty() && (!all_digits(v) || parse_number(v, 1, port_count, n));
}

bool take_baud(Options& opt, const std::string& v)
{
    int n = 0;
    opt.baud = 0;
    if (v == "all")
        return opt.command == Command::scan;
    if (!parse_number(v, 1, std::numeric_limits<int>::max(), n) || !is_line_speed(n))
        return false;
    opt.baud = n;
    return true;
}

bool take_ids(Options& opt, const std::string& v)
{
    const auto dash = v.find('-');
    return dash != std::string::npos && parse_id(v.substr(0, dash), opt.first_id) &&
           parse_id(v.substr(dash + 1), opt.last_id) && opt.first_id <= opt.last_id;
}

// An option: its name, the name of its value in the help (none: a flag),
// the help, and what takes its value (false: not a value it takes).
struct OptionRow {
    const char* name;
    const char* value;
    const char* help;
    bool (*take)(Options&, const std::string&);
};

const std::string baud_help = speeds_text("、", " 或 ") + "；扫描时可为 all（默认）";

// clang-format off
const OptionRow option_table[] = {
    {"--port", "P", "串口号（同窗口的编号，1~24）或设备", take_port},
    {"--baud", "B", baud_help.c_str(), take_baud},
    {"--id", "X", "要读的ID（1~247）", [](Options& o, const std::string& v) { return parse_id(v, o.id); }},
    {"--from", "X", "设备现在的ID（1~247）", [](Options& o, const std::string& v) { return parse_id(v, o.from); }},
    {"--to", "Y", "设备的新ID（1~247）", [](Options& o, const std::string& v) { return parse_id(v, o.to); }},
    {"--ids", "A-B", "扫描的地址范围（默认1-247）", take_ids},
    {"--first", nullptr, "扫描到第一台设备即停止", [](Options& o, const std::string&) { return o.first = true; }},
    {"--timeout", "MS", "读寄存器时等待应答的毫秒数（默认100加应答在线上的时间）",
     [](Options& o, const std::string& v) { return parse_number(v, 1, 60'000, o.timeout_ms); }},
    {"--confirm-ms", "MS", "更改成功后在新ID反复读回确认的最长毫秒数（默认1000）",
     [](Options& o, const std::string& v) { return parse_number(v, 0, 60'000, o.confirm_ms); }},
    {"--force", nullptr, "不先检查新ID是否空闲", [](Options& o, const std::string&) { return o.force = true; }},
    {"--no-verify", nullptr, "更改成功后不在新ID读回确认", [](Options& o, const std::string&) { return o.no_verify = true; }},
    {"--keep-going", nullptr, "批量更改中某行失败后继续", [](Options& o, const std::string&) { return o.keep_going = true; }},
    {"--json", nullptr, "每个结果输出一行JSON", [](Options& o, const std::string&) { return o.json = true; }},
    {"--verbose", nullptr, "在标准错误输出收发的每个字节及其时间", [](Options& o, const std::string&) { return o.verbose = true; }},
};
// clang-format on

// A command: its synopsis, the options it takes, those it needs, and what
// it does with a plain word (nothing: none is taken).
struct CommandRow {
    Command command;
    const char* synopsis;
    std::vector<std::string_view> takes, needs;
    const char* word;
};

const std::vector<std::string_view> common = {"--json", "--verbose"};

const CommandRow command_table[] = {
    {Command::read,
     "read   --port P --baud B --id X [--timeout MS]",
     {"--port", "--baud", "--id", "--timeout"},
     {"--port", "--baud", "--id"},
     nullptr},
    {Command::change,
     "change --port P --baud B --from X --to Y [--force] [--no-verify] [--timeout MS] "
     "[--confirm-ms MS]",
     {"--port", "--baud", "--from", "--to", "--force", "--no-verify", "--timeout", "--confirm-ms"},
     {"--port", "--baud", "--from", "--to"},
     nullptr},
    {Command::batch,
     "batch  --port P --baud B FILE [--keep-going] [--force] [--no-verify] [--timeout MS] "
     "[--confirm-ms MS]",
     {"--port", "--baud", "--keep-going", "--force", "--no-verify", "--timeout", "--confirm-ms"},
     {"--port", "--baud"},
     "FILE"},
    {Command::scan,
     "scan   --port P [--baud B | --baud all] [--ids A-B] [--first] [--timeout MS]",
     {"--port", "--baud", "--ids", "--first", "--timeout"},
     {"--port"},
     nullptr},
};

const char* const exit_text =
    "退出码：0 完成并确认（扫描：找到设备）；1 设备未更改或未确认（扫描：未找到）；"
    "2 用法或文件错误；3 串口无法打开或设置；4 新ID已被占用；5 日志文件无法写入；"
    "130 被 Ctrl-C 或 SIGTERM 中断\n";

const OptionRow* find_option(std::string_view name)
{
    for (const OptionRow& row : option_table)
        if (name == row.name)
            return &row;
    return nullptr;
}

const CommandRow* find_command(std::string_view name)
{
    for (const CommandRow& row : command_table)
        if (name == to_string(row.command))
            return &row;
    return nullptr;
}

bool takes(const CommandRow& row, std::string_view name)
{
    return std::ranges::find(row.takes, name) != row.takes.end() ||
           std::ranges::find(common, name) != common.end();
}

std::string option_help(const OptionRow& row)
{
    std::string head =
        std::string("  ") + row.name + (row.value ? " " : "") + (row.value ? row.value : "");
    head.resize(std::max<std::size_t>(head.size() + 1, 18), ' ');
    return head + row.help + "\n";
}

std::string command_help(const CommandRow& row)
{
    std::string text = std::string("用法：qrv-idctl ") + row.synopsis + "\n选项：\n";
    for (const OptionRow& option : option_table)
        if (takes(row, option.name))
            text += option_help(option);
    return text + exit_text;
}

// Checks what the command needs once every argument is taken.
std::optional<UsageError> complete(Options& opt, const CommandRow& row,
                                   const std::set<std::string_view>& seen)
{
    for (const std::string_view need : row.needs)
        if (!seen.count(need))
            return UsageError{usage_needs(to_string(row.command), std::string(need)), row.command};
    if (row.word && opt.file.empty())
        return UsageError{usage_needs("batch", row.word), row.command};
    if (row.command == Command::change && opt.from == opt.to)
        return UsageError{text_same_ids, row.command};
    return std::nullopt;
}

} // namespace

const char* to_string(Command command)
{
    switch (command) {
    case Command::read:
        return "read";
    case Command::change:
        return "change";
    case Command::batch:
        return "batch";
    case Command::scan:
        break;
    }
    return "scan";
}

std::string usage_text()
{
    std::string text = "用法：\n";
    for (const CommandRow& row : command_table)
        text += std::string("  qrv-idctl ") + row.synopsis + "\n";
    text += "  qrv-idctl 命令 --help\n选项：\n";
    for (const OptionRow& option : option_table)
        text += option_help(option);
    return text + exit_text;
}

std::optional<int> port_number(const std::string& port)
{
    int n = 0;
    return all_digits(port) && parse_number(port, 1, port_count, n) ? std::optional(n)
                                                                    : std::nullopt;
}

Parsed parse_options(const std::vector<std::string>& args)
{
    if (args.empty())
        return UsageError{usage_no_command, std::nullopt};
    if (args[0] == "--help" || args[0] == "-h" || args[0] == "help")
        return Help{usage_text()};
    const CommandRow* row = find_command(args[0]);
    if (!row)
        return UsageError{usage_unknown_command(args[0]), std::nullopt};
    Options opt;
    opt.command = row->command;
    std::set<std::string_view> seen;
    ArgScanner scanner({args.begin() + 1, args.end()});
    while (const auto arg = scanner.next()) {
        if (arg->name == "--help" || arg->name == "-h")
            return Help{command_help(*row)};
        if (!arg->option() && row->word && opt.file.empty()) {
            opt.file = arg->name;
            continue;
        }
        const OptionRow* option = find_option(arg->name);
        if (!option)
            return UsageError{usage_unknown_option(arg->name), row->command};
        if (!takes(*row, arg->name))
            return UsageError{usage_not_for(to_string(row->command), arg->name), row->command};
        const auto value = option->value ? scanner.value(*arg) : arg->inline_value;
        if ((option->value && !value) || (!option->value && value) ||
            !option->take(opt, value.value_or("")))
            return UsageError{usage_bad_value(arg->name, value.value_or("")), row->command};
        seen.insert(option->name);
    }
    if (auto error = complete(opt, *row, seen))
        return *error;
    return opt;
}

} // namespace qrv::cli
