#include "options.h"

#include "arg_scanner.h"
#include "batch_file.h"
#include "texts.h"
#include "vocabulary.h"

#include <algorithm>
#include <array>
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

// The ranges of the numbers options take, for the taking and the help.
struct Range {
    int lo, hi;
};
constexpr Range timeout_range{1, 60'000};
constexpr Range confirm_range{0, 60'000};

bool take_number(std::string_view v, Range range, int& out)
{
    return parse_number(v, range.lo, range.hi, out);
}

// A number is one of the platform's ports; anything else names a device,
// but never a negative number.
bool take_port(Options& opt, const std::string& v)
{
    opt.port = v;
    int n = 0;
    if (!v.empty() && v[0] == '-')
        return false;
    return !v.empty() && (!all_digits(v) || parse_number(v, 1, opt.max_port, n));
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

// "A-B", or one address alone.
bool parse_ids(std::string_view v, std::uint8_t& first, std::uint8_t& last)
{
    const auto dash = v.find('-');
    if (dash == std::string_view::npos)
        return parse_id(v, first) && parse_id(v, last);
    return parse_id(v.substr(0, dash), first) && parse_id(v.substr(dash + 1), last) &&
           first <= last;
}

bool take_ids(Options& opt, const std::string& v)
{
    return parse_ids(v, opt.first_id, opt.last_id);
}

// A change's new ID; assign's list of them, "20,21,30-39", in order, none twice.
bool take_to(Options& opt, const std::string& v)
{
    if (opt.command != Command::assign)
        return parse_id(v, opt.to);
    std::string_view rest = v;
    for (bool more = true; more;) {
        const auto comma = rest.find(',');
        more = comma != std::string_view::npos;
        std::uint8_t first = 0, last = 0;
        if (!parse_ids(rest.substr(0, comma), first, last))
            return false;
        for (int id = first; id <= last; ++id) {
            if (std::ranges::count(opt.to_list, id))
                return false;
            opt.to_list.push_back(static_cast<std::uint8_t>(id));
        }
        rest = more ? rest.substr(comma + 1) : rest;
    }
    return true;
}

bool take_keep_going(Options& opt, const std::string&)
{
    return opt.keep_going = true;
}

bool take_echo(Options& opt, const std::string& v)
{
    opt.echo = v == "on" ? Echo::on : v == "off" ? Echo::off : Echo::automatic;
    return v == "on" || v == "off" || v == "auto";
}

// An option: its name, the name of its value in the help (none: a flag),
// the help, what takes its value (false: not a value it takes), and the
// range of its number for the help (none: no number; the port's highest
// number is the platform's).
struct OptionRow {
    const char* name;
    const char* value;
    const char* help;
    bool (*take)(Options&, const std::string&);
    std::optional<Range> range = std::nullopt;
    // The command whose help shows this row instead of the option's others.
    std::optional<Command> only = std::nullopt;
};

constexpr Range port_range{1, 0}; // to the platform's highest port
constexpr Range id_range{1, max_id};

const std::string baud_help = speeds_text("、", " 或 ");
const std::string scan_baud_help = baud_help + "；all（默认）：依次扫描所有波特率";
const std::string confirm_help = "更改后等待结束起，在新ID反复读回确认的最长毫秒数（默认" +
                                 std::to_string(default_confirm_ms) + "）";

// clang-format off
const OptionRow option_table[] = {
    {"--port", "P", "串口号或设备", take_port, port_range},
    {"--baud", "B", scan_baud_help.c_str(), take_baud, std::nullopt, Command::scan},
    {"--baud", "B", baud_help.c_str(), take_baud},
    {"--id", "X", "要读的ID", [](Options& o, const std::string& v) { return parse_id(v, o.id); }, id_range},
    {"--from", "X", "设备现在的ID", [](Options& o, const std::string& v) { return parse_id(v, o.from); }, id_range},
    {"--to", "LIST", "依次使用的新ID，如 20-29 或 20,21,30-39", take_to, id_range, Command::assign},
    {"--to", "Y", "设备的新ID", take_to, id_range},
    {"--ids", "A-B", "扫描的地址范围，或一个地址（默认1-247）", take_ids, id_range},
    {"--first", nullptr, "扫描到第一台设备即停止", [](Options& o, const std::string&) { return o.first = true; }},
    {"--identify", nullptr, "读取找到的每台设备的标识（厂商、产品、版本）", [](Options& o, const std::string&) { return o.identify = true; }},
    {"--timeout", "MS", "读寄存器时等待应答的毫秒数（默认100加应答在线上的时间）；更改时超过1000则也加长更改的等待",
     [](Options& o, const std::string& v) { return take_number(v, timeout_range, o.timeout_ms); }, timeout_range},
    {"--confirm-ms", "MS", confirm_help.c_str(),
     [](Options& o, const std::string& v) { return take_number(v, confirm_range, o.confirm_ms); }, confirm_range},
    {"--echo", "E", "串口转换器是否回送发出的命令：auto（默认，由第一条命令得知）、on 或 off", take_echo},
    {"--force", nullptr, "不先检查原ID处是否只有一台设备、新ID是否空闲", [](Options& o, const std::string&) { return o.force = true; }},
    {"--no-verify", nullptr, "更改成功后不在新ID读回确认", [](Options& o, const std::string&) { return o.no_verify = true; }},
    {"--keep-going", nullptr, "某行失败后继续执行后面的行", take_keep_going, std::nullopt, Command::batch},
    {"--keep-going", nullptr, "某台设备未确认后继续编号下一台", take_keep_going},
    {"--json", nullptr, "每个结果输出一行JSON", [](Options& o, const std::string&) { return o.json = true; }},
    {"--verbose", nullptr, "在标准错误输出收发的每个字节及其时间", [](Options& o, const std::string&) { return o.verbose = true; }},
};
// clang-format on

// A command: its synopsis, the options it takes, those it needs, what it
// does with a plain word (nothing: none is taken), two examples, and what
// its help says before them (nothing: no more).
struct CommandRow {
    Command command;
    const char* synopsis;
    std::vector<std::string_view> takes, needs;
    const char* word;
    std::array<const char*, 2> examples;
    const char* about = nullptr;
};

const std::vector<std::string_view> common = {"--json", "--verbose", "--echo"};

const CommandRow command_table[] = {
    {Command::read,
     "read   --port P --baud B --id X [--timeout MS]",
     {"--port", "--baud", "--id", "--timeout"},
     {"--port", "--baud", "--id"},
     nullptr,
     {"read --port 3 --baud 9600 --id 17", "read --port 3 --baud 115200 --id 1 --timeout 300"}},
    {Command::change,
     "change --port P --baud B --from X --to Y [--force] [--no-verify] [--timeout MS] "
     "[--confirm-ms MS]",
     {"--port", "--baud", "--from", "--to", "--force", "--no-verify", "--timeout", "--confirm-ms"},
     {"--port", "--baud", "--from", "--to"},
     nullptr,
     {"change --port 3 --baud 9600 --from 17 --to 1",
      "change --port 3 --baud 115200 --from 1 --to 20 --json"}},
    {Command::batch,
     "batch  --port P --baud B FILE [--keep-going] [--force] [--no-verify] [--timeout MS] "
     "[--confirm-ms MS]",
     {"--port", "--baud", "--keep-going", "--force", "--no-verify", "--timeout", "--confirm-ms"},
     {"--port", "--baud"},
     "FILE",
     {"batch --port 3 --baud 9600 cabinet4.txt",
      "batch --port 3 --baud 9600 cabinet4.txt --keep-going --json"}},
    {Command::scan,
     "scan   --port P [--baud B | --baud all] [--ids A-B] [--first] [--identify] [--timeout MS]",
     {"--port", "--baud", "--ids", "--first", "--identify", "--timeout"},
     {"--port"},
     nullptr,
     {"scan --port 3", "scan --port 3 --baud 9600 --ids 1-30 --identify"}},
    {Command::assign,
     "assign --port P --baud B --from X --to LIST [--keep-going] [--no-verify] [--timeout MS] "
     "[--confirm-ms MS]",
     {"--port", "--baud", "--from", "--to", "--keep-going", "--no-verify", "--timeout",
      "--confirm-ms"},
     {"--port", "--baud", "--from", "--to"},
     nullptr,
     {"assign --port 3 --baud 9600 --from 1 --to 20-29",
      "assign --port 3 --baud 9600 --from 1 --to 20,21,30-39 --keep-going"}},
    {Command::ports,
     "ports [--json]",
     {"--json"},
     {},
     nullptr,
     {"ports", "ports --json"},
     help_ports},
};

constexpr std::array<const char*, 2> general_examples = {
    "scan --port 3", "change --port 3 --baud 9600 --from 17 --to 1"};

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
    // Listing the ports uses no line: of the common options only --json.
    return std::ranges::find(row.takes, name) != row.takes.end() ||
           (row.command != Command::ports && std::ranges::find(common, name) != common.end());
}

std::string option_help(const OptionRow& row, int max_port)
{
    std::string head =
        std::string("  ") + row.name + (row.value ? " " : "") + (row.value ? row.value : "");
    head.resize(std::max<std::size_t>(head.size() + 1, 19), ' ');
    head += row.help;
    if (row.range)
        head += "（" + std::to_string(row.range->lo) + "~" +
                std::to_string(row.range->hi ? row.range->hi : max_port) + "）";
    return head + "\n";
}

// The row of an option that a command's help shows: its own, else the
// option's row for every command.
bool shown_for(const OptionRow& option, Command command)
{
    if (option.only)
        return *option.only == command;
    return std::ranges::none_of(option_table, [&](const OptionRow& other) {
        return other.only == command && std::string_view(other.name) == option.name;
    });
}

std::string examples_help(const std::array<const char*, 2>& examples)
{
    return std::string("示例：\n  qrv-idctl ") + examples[0] + "\n  qrv-idctl " + examples[1] +
           "\n";
}

std::string command_help(const CommandRow& row, int max_port, const char* stops)
{
    std::string text = std::string("用法：qrv-idctl ") + row.synopsis + "\n选项：\n";
    for (const OptionRow& option : option_table)
        if (takes(row, option.name) && shown_for(option, row.command))
            text += option_help(option, max_port);
    return text + (row.about ? row.about : "") + examples_help(row.examples) +
           text_exit_statuses(stops) + (row.word ? text_words_help : "");
}

// The command in args, with the options given before it moved after it
// ("--json scan --port 3"); args as they are when none is found.
std::vector<std::string> command_first(const std::vector<std::string>& args)
{
    if (args.empty() || !args[0].starts_with('-'))
        return args;
    const auto command = std::ranges::find_if(
        args, [](const std::string& arg) { return find_command(arg) != nullptr; });
    if (command == args.end())
        return args;
    std::vector<std::string> moved{*command};
    moved.insert(moved.end(), args.begin(), command);
    moved.insert(moved.end(), command + 1, args.end());
    return moved;
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
    if ((row.command == Command::change && opt.from == opt.to) ||
        (row.command == Command::assign && std::ranges::count(opt.to_list, opt.from)))
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
        return "scan";
    case Command::assign:
        return "assign";
    case Command::ports:
        break;
    }
    return "ports";
}

std::string usage_text(int max_port, const char* stops)
{
    std::string text = "用法：\n";
    for (const CommandRow& row : command_table)
        text += std::string("  qrv-idctl ") + row.synopsis + "\n";
    text += "  qrv-idctl 命令 --help    该命令的选项和示例\n  qrv-idctl --version\n"
            "每个命令都接受的选项：\n";
    for (const OptionRow& option : option_table)
        if (std::ranges::find(common, option.name) != common.end())
            text += option_help(option, max_port);
    return text + examples_help(general_examples) + text_exit_statuses(stops) + text_words_help;
}

std::optional<int> port_number(const std::string& port)
{
    int n = 0;
    return all_digits(port) && parse_number(port, 1, max_port_number, n) ? std::optional(n)
                                                                         : std::nullopt;
}

Parsed parse_options(const std::vector<std::string>& given, int max_port, const char* stops)
{
    const std::vector<std::string> args = command_first(given);
    if (args.empty())
        return UsageError{usage_no_command, std::nullopt};
    if (args[0] == "--help" || args[0] == "-h" || args[0] == "help")
        return Help{usage_text(max_port, stops), true};
    if (args[0] == "--version")
        return Help{std::string("qrv-idctl ") + QRV_VERSION + "\n"};
    const CommandRow* row = find_command(args[0]);
    if (!row && args[0].starts_with('-'))
        return UsageError{usage_no_command, std::nullopt};
    if (!row)
        return UsageError{usage_unknown_command(args[0]), std::nullopt};
    Options opt;
    opt.command = row->command;
    opt.max_port = max_port;
    std::set<std::string_view> seen;
    bool words_only = false; // after "--"
    ArgScanner scanner({args.begin() + 1, args.end()});
    while (const auto arg = scanner.next()) {
        if (!words_only && arg->name == "--" && !arg->inline_value) {
            words_only = true;
            continue;
        }
        const bool word = words_only || !arg->option();
        if (!word && (arg->name == "--help" || arg->name == "-h"))
            return Help{command_help(*row, max_port, stops)};
        if (word && row->word && opt.file.empty()) {
            opt.file = arg->name;
            continue;
        }
        if (word)
            return UsageError{usage_extra(to_string(row->command), arg->name, row->word),
                              row->command};
        const OptionRow* option = find_option(arg->name);
        if (!option)
            return UsageError{usage_unknown_option(arg->name), row->command};
        if (!takes(*row, arg->name))
            return UsageError{usage_not_for(to_string(row->command), arg->name), row->command};
        if (seen.count(option->name))
            return UsageError{usage_twice(arg->name), row->command};
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
