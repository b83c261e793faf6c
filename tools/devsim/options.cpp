#include "options.h"

#include "arg_scanner.h"
#include "device.h"
#include "vocabulary.h"

#include <algorithm>
#include <charconv>
#include <limits>
#include <string_view>
#include <utility>

namespace qrv::devsim {

namespace {

// Whole decimal number within [lo, hi], nothing else in the text.
bool parse_int(std::string_view text, long lo, long hi, long& out)
{
    const char* end = text.data() + text.size();
    auto [p, ec] = std::from_chars(text.data(), end, out);
    return ec == std::errc{} && p == end && !text.empty() && out >= lo && out <= hi;
}

// "VENDOR,PRODUCT,REVISION": three parts, none longer than a device's object
// may be here.
std::optional<Identity> parse_identity(const std::string& text)
{
    constexpr std::size_t max_object = 64;
    std::vector<std::string> parts(1);
    for (const char c : text) {
        if (c == ',')
            parts.emplace_back();
        else
            parts.back().push_back(c);
    }
    if (parts.size() != 3 ||
        std::ranges::any_of(parts, [](const std::string& p) { return p.size() > max_object; }))
        return std::nullopt;
    return Identity{parts[0], parts[1], parts[2]};
}

// What an option's number may be, and what it counts, for the help and the
// error.
struct Range {
    long lo, hi;
    const char* unit;
};

// How an option takes its value: none (a flag), as text, one number, or a
// number or span "A-B" of them, drawn from anew each time.
enum class Kind { flag, text, number, span };

// What an option was given, checked against its kind: the text, or the
// number or span with the odds that followed '@'.
struct Given {
    std::string text;
    Fault amount;
};

// An option: its name, the name of its value in the help, the help, how it
// takes its value and within what range, whether it may end in "@P" (a
// fault that strikes with probability P), whether it describes the device
// of the --id before it, what a bad value is told it needs (numbers: their
// range), and what applies it (false: a value it does not take).
struct OptionRow {
    const char* name;
    const char* value;
    const char* help;
    Kind kind;
    std::optional<Range> range;
    bool odds;
    bool device;
    const char* needs;
    bool (*take)(Options&, const Given&);
};

constexpr Range ms_range{0, 60'000, "milliseconds"};

const std::string speeds_needed = speeds_text(", ", " or ");
const std::string baud_help = "that device answers only while the line is set to B baud (" +
                              speeds_text(", ", ", ") +
                              ") and ignores frames otherwise (default: any speed)";

bool take_fault(Fault& fault, const Given& given)
{
    fault = given.amount;
    return true;
}

// clang-format off
const OptionRow option_table[] = {
    {"--link", "PATH", "where to put the link to the pseudo-terminal (required)",
     Kind::text, std::nullopt, false, false, "a path",
     [](Options& o, const Given& g) { o.link = g.text; return !g.text.empty(); }},
    {"--id", "N", "a device with slave ID N at start (default: one device, ID 17); once per "
     "device on the line", Kind::number, Range{1, max_id, "a number"}, false, false, nullptr,
     [](Options& o, const Given& g) {
         o.devices.emplace_back().id = static_cast<std::uint8_t>(g.amount.lo);
         return true;
     }},
    {"--baud", "B", baud_help.c_str(), Kind::text, std::nullopt, false, true, speeds_needed.c_str(),
     [](Options& o, const Given& g) {
         long n = 0;
         if (!parse_int(g.text, 1, std::numeric_limits<int>::max(), n) || !is_line_speed(n))
             return false;
         o.devices.back().baud = static_cast<unsigned>(n);
         return true;
     }},
    {"--identity", "V,P,R", "that device answers a read of its identification (function 43/14) "
     "with vendor V, product P and revision R, each up to 64 characters (default: an exception, "
     "as a device without the function)", Kind::text, std::nullopt, false, true,
     "VENDOR,PRODUCT,REVISION, each up to 64 characters",
     [](Options& o, const Given& g) {
         o.devices.back().identity = parse_identity(g.text);
         return o.devices.back().identity.has_value();
     }},
    {"--appear", "MS", "that device is connected MS milliseconds after the start, as a "
     "technician plugs it in", Kind::number, Range{0, 3'600'000, "milliseconds"}, false, true, nullptr,
     [](Options& o, const Given& g) {
         o.devices.back().appear = std::chrono::milliseconds(g.amount.lo);
         return true;
     }},
    {"--slow", "MS", "each answer of that device comes MS milliseconds later",
     Kind::span, ms_range, true, true, nullptr,
     [](Options& o, const Given& g) { return take_fault(o.devices.back().slow, g); }},
    {"--reply-from-old", nullptr, "answer an ID change from the old address (the ID still changes)",
     Kind::flag, std::nullopt, false, false, nullptr,
     [](Options& o, const Given&) { return o.reply_from_old = true; }},
    {"--keep-id", nullptr, "answer an ID change from the new address but keep the old ID",
     Kind::flag, std::nullopt, false, false, nullptr,
     [](Options& o, const Given&) { return o.keep_id = true; }},
    {"--refuse", "CODE", "refuse every ID change with exception CODE", Kind::number,
     Range{exc_illegal_function, exc_last, "an exception code"}, false, false, nullptr,
     [](Options& o, const Given& g) { o.refuse = static_cast<std::uint8_t>(g.amount.lo); return true; }},
    {"--echo", nullptr, "send back every frame heard at once, as an RS-485 adapter whose receiver "
     "stays on while it sends", Kind::flag, std::nullopt, false, false, nullptr,
     [](Options& o, const Given&) { return o.echo = true; }},
    {"--no-answer", nullptr, "never answer", Kind::flag, std::nullopt, true, false, nullptr,
     [](Options& o, const Given& g) { return take_fault(o.no_answer, g); }},
    {"--late", "MS", "delay each answer by MS milliseconds", Kind::span, ms_range, true, false, nullptr,
     [](Options& o, const Given& g) { return take_fault(o.late, g); }},
    {"--restart", "MS", "after answering an ID change, that device hears nothing for MS "
     "milliseconds, as firmware that restarts to apply it", Kind::span, ms_range, true, false, nullptr,
     [](Options& o, const Given& g) { return take_fault(o.restart, g); }},
    {"--bad-crc", nullptr, "send answers with a wrong CRC", Kind::flag, std::nullopt, true, false, nullptr,
     [](Options& o, const Given& g) { return take_fault(o.bad_crc, g); }},
    {"--extra", "N", "append N zero bytes to each answer", Kind::span, Range{0, 255, "a number"},
     true, false, nullptr, [](Options& o, const Given& g) { return take_fault(o.extra, g); }},
    {"--noise", "MS", "put 1 to 3 random bytes on the line at random moments, MS milliseconds "
     "apart on average", Kind::number, Range{1, 3'600'000, "milliseconds"}, false, false, nullptr,
     [](Options& o, const Given& g) { o.noise_ms = g.amount.lo; return true; }},
    {"--wire", nullptr, "pace answers and noise at the line's speed (10 bits a byte) after the "
     "request's own time on the wire and a gap of 3.5 bytes; a frame heard while the line "
     "carries other bytes is lost", Kind::flag, std::nullopt, false, false, nullptr,
     [](Options& o, const Given&) { return o.wire = true; }},
    {"--seed", "N", "seed of the random draws (default 1)", Kind::number,
     Range{0, std::numeric_limits<std::uint32_t>::max(), "a number"}, false, false, nullptr,
     [](Options& o, const Given& g) { o.seed = static_cast<std::uint32_t>(g.amount.lo); return true; }},
    {"--log", "FILE", "write one line per event to FILE (see docs/testing.md)", Kind::text,
     std::nullopt, false, false, "a file name",
     [](Options& o, const Given& g) { o.log = g.text; return !g.text.empty(); }},
};
// clang-format on

const char* const usage_head = "usage: qrv-devsim --link PATH [options]\n"
                               "\n"
                               "A Modbus RTU device on a pseudo-terminal, reachable through the "
                               "symbolic\nlink PATH. It prints every frame it receives and sends.\n"
                               "\n";

const char* const usage_tail =
    "\n"
    "Several --id make a line of devices that all hear every frame. Devices with\n"
    "the same ID answer at once and garble each other. The options that follow\n"
    "an --id describe that device; the others apply to every device. A fault's\n"
    "number may be a span A-B, drawn from anew each time, and the fault may end\n"
    "in @P to strike each time with probability P (0..1): --late 100-900@0.2,\n"
    "--bad-crc@0.05. A line of three, two of them at ID 7, one only at 9600 baud:\n"
    "\n"
    "  qrv-devsim --link ports/COM9 --id 5 --id 7 --baud 9600 --id 7\n"
    "\n"
    "A box of new devices at ID 17, plugged in one every 5 seconds:\n"
    "\n"
    "  qrv-devsim --link ports/COM9 --id 17 --id 17 --appear 5000 --id 17 --appear 10000\n";

constexpr std::size_t help_column = 21;
constexpr std::size_t help_width = 80;

// One option's lines of the help, its text wrapped at word ends.
std::string option_help(const OptionRow& row)
{
    std::string head = std::string("  ") + row.name + (row.value ? " " : "") +
                       (row.value ? row.value : "") + (row.odds ? "[@P]" : "");
    head.resize(std::max(head.size() + 1, help_column), ' ');
    std::string text = std::string(row.device ? "after --id: " : "") + row.help;
    if (row.range)
        text += " (" + std::to_string(row.range->lo) + ".." + std::to_string(row.range->hi) + ")";
    std::string lines = head;
    std::size_t column = head.size();
    bool line_start = true;
    for (std::size_t at = 0; at < text.size();) {
        const std::size_t end = std::min(text.find(' ', at), text.size());
        if (!line_start && column + 1 + end - at > help_width) {
            lines += "\n" + std::string(help_column, ' ');
            column = help_column;
            line_start = true;
        }
        if (!line_start) {
            lines += ' ';
            ++column;
        }
        lines += text.substr(at, end - at);
        column += end - at;
        line_start = false;
        at = end + 1;
    }
    return lines + "\n";
}

const OptionRow* find_option(std::string_view name)
{
    for (const OptionRow& row : option_table)
        if (name == row.name)
            return &row;
    return nullptr;
}

// The number or span of a value, in the row's range; "A-B" only for a span.
bool parse_amount(const OptionRow& row, std::string_view text, Fault& amount)
{
    const auto dash = row.kind == Kind::span ? text.find('-', 1) : std::string_view::npos;
    const std::string_view lo = text.substr(0, dash);
    const std::string_view hi = dash == std::string_view::npos ? lo : text.substr(dash + 1);
    return parse_int(lo, row.range->lo, row.range->hi, amount.lo) &&
           parse_int(hi, row.range->lo, row.range->hi, amount.hi) && amount.lo <= amount.hi;
}

// The probability after '@': a decimal number from 0 to 1.
bool parse_chance(std::string_view text, double& chance)
{
    const char* end = text.data() + text.size();
    auto [p, ec] = std::from_chars(text.data(), end, chance);
    return ec == std::errc{} && p == end && !text.empty() && chance >= 0 && chance <= 1;
}

// What one option on the command line gives, or the error it makes.
std::optional<UsageError> take_option(Options& opt, cli::ArgScanner& scanner, const cli::Arg& arg)
{
    // A flag's odds follow its name: "--bad-crc@0.1".
    const std::size_t at = arg.inline_value ? std::string::npos : arg.name.find('@');
    const std::string name = arg.name.substr(0, at);
    const OptionRow* row = find_option(name);
    if (!row || (at != std::string::npos && (row->kind != Kind::flag || !row->odds)))
        return UsageError{"unknown option: " + arg.name};
    if (row->device && opt.devices.empty())
        return UsageError{name + " must follow an --id"};
    if (row->kind == Kind::flag && arg.inline_value)
        return UsageError{name + " takes no value"};
    Given given{{}, {1, 1, 1.0}};
    std::optional<std::string> odds;
    if (at != std::string::npos)
        odds = arg.name.substr(at + 1);
    bool good = true;
    if (row->kind != Kind::flag) {
        const auto value = scanner.value(arg);
        given.text = value.value_or("");
        if (const auto mark = given.text.find('@'); row->odds && mark != std::string::npos) {
            odds = given.text.substr(mark + 1);
            given.text.resize(mark);
        }
        good = value && (!row->range || parse_amount(*row, given.text, given.amount));
    }
    if (good && odds && !parse_chance(*odds, given.amount.chance))
        return UsageError{name + " needs a probability 0..1 after @"};
    if (!good || !row->take(opt, given))
        return UsageError{name + " needs " +
                          (row->needs ? row->needs
                                      : row->range->unit + (" " + std::to_string(row->range->lo)) +
                                            ".." + std::to_string(row->range->hi))};
    return std::nullopt;
}

} // namespace

std::string usage_text()
{
    std::string text = usage_head;
    for (const OptionRow& row : option_table)
        text += option_help(row);
    return text + "  --help             show this text\n" + usage_tail;
}

ParseResult parse_options(const std::vector<std::string>& args)
{
    Options opt;
    cli::ArgScanner scanner(args);
    while (const auto arg = scanner.next()) {
        if (arg->name == "--help" || arg->name == "-h")
            return ShowHelp{};
        if (auto error = take_option(opt, scanner, *arg))
            return *error;
    }
    if (opt.link.empty())
        return UsageError{"--link PATH is required"};
    if (opt.devices.empty())
        opt.devices.push_back({});
    return opt;
}

} // namespace qrv::devsim
