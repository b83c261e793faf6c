#include "options.h"

#include "arg_scanner.h"
#include "device.h"
#include "vocabulary.h"

#include <algorithm>
#include <charconv>
#include <limits>
#include <utility>

namespace qrv::devsim {

namespace {

// Whole decimal number within [lo, hi], nothing else in the text.
bool parse_int(const std::string& text, long lo, long hi, long& out)
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

} // namespace

std::string usage_text()
{
    return std::string(
               "usage: qrv-devsim --link PATH [options]\n"
               "\n"
               "A Modbus RTU device on a pseudo-terminal, reachable through the symbolic\n"
               "link PATH. It prints every frame it receives and sends.\n"
               "\n"
               "  --link PATH        where to put the link to the pseudo-terminal (required)\n"
               "  --id N             a device with slave ID N at start, 1..247 (default: one\n"
               "                     device, ID 17); once per device on the line\n"
               "  --baud B           after --id: that device answers only while the line is\n"
               "                     set to B baud (") +
           speeds_text(", ", ", ") +
           ")\n"
           "                     and ignores frames otherwise (default: any speed)\n"
           "  --identity V,P,R   after --id: that device answers a read of its\n"
           "                     identification (function 43/14) with vendor V, product\n"
           "                     P and revision R, each up to 64 characters (default: an\n"
           "                     exception, as a device without the function)\n"
           "  --appear MS        after --id: that device is connected MS milliseconds after\n"
           "                     the start (0..3600000), as a technician plugs it in\n"
           "  --reply-from-old   answer an ID change from the old address (the ID still changes)\n"
           "  --keep-id          answer an ID change from the new address but keep the old ID\n"
           "  --refuse CODE      refuse every ID change with exception CODE (1..11)\n"
           "  --echo             send back every frame heard at once, as an RS-485 adapter\n"
           "                     whose receiver stays on while it sends\n"
           "  --no-answer        never answer\n"
           "  --late MS          delay each answer by MS milliseconds (0..60000)\n"
           "  --restart MS       after answering an ID change, hear nothing for MS\n"
           "                     milliseconds, as firmware that restarts to apply it\n"
           "  --bad-crc          send answers with a wrong CRC\n"
           "  --extra N          append N zero bytes to each answer (0..255)\n"
           "  --help             show this text\n"
           "\n"
           "Several --id make a line of devices that all hear every frame. Devices with\n"
           "the same ID answer at once and garble each other. The fault options apply to\n"
           "every device. A line of three, two of them at ID 7, one only at 9600 baud:\n"
           "\n"
           "  qrv-devsim --link ports/COM9 --id 5 --id 7 --baud 9600 --id 7\n"
           "\n"
           "A box of new devices at ID 17, plugged in one every 5 seconds:\n"
           "\n"
           "  qrv-devsim --link ports/COM9 --id 17 --id 17 --appear 5000 --id 17 --appear 10000\n";
}

ParseResult parse_options(const std::vector<std::string>& args)
{
    Options opt;
    bool have_link = false;
    cli::ArgScanner scanner(args);
    while (const auto arg = scanner.next()) {
        const std::string& name = arg->name;
        const auto number = [&](long lo, long hi, long& n) {
            const auto value = scanner.value(*arg);
            return value && parse_int(*value, lo, hi, n);
        };
        const auto flag = [&](bool& target) { return !arg->inline_value && (target = true); };
        long n = 0;
        if (name == "--help" || name == "-h")
            return ShowHelp{};
        if (name == "--link") {
            const auto value = scanner.value(*arg);
            if (!value || value->empty())
                return UsageError{"--link needs a path"};
            opt.link = *value;
            have_link = true;
        } else if (name == "--id") {
            if (!number(1, max_id, n))
                return UsageError{"--id needs a number 1..247"};
            opt.devices.push_back({static_cast<std::uint8_t>(n), 0, std::nullopt, {}});
        } else if ((name == "--baud" || name == "--identity" || name == "--appear") &&
                   opt.devices.empty()) {
            return UsageError{name + " must follow an --id"};
        } else if (name == "--baud") {
            if (!number(1, std::numeric_limits<int>::max(), n) || !is_line_speed(n))
                return UsageError{"--baud needs " + speeds_text(", ", " or ")};
            opt.devices.back().baud = static_cast<unsigned>(n);
        } else if (name == "--identity") {
            const auto value = scanner.value(*arg);
            auto identity = value ? parse_identity(*value) : std::nullopt;
            if (!identity)
                return UsageError{
                    "--identity needs VENDOR,PRODUCT,REVISION, each up to 64 characters"};
            opt.devices.back().identity = std::move(identity);
        } else if (name == "--appear") {
            if (!number(0, 3'600'000, n))
                return UsageError{"--appear needs milliseconds 0..3600000"};
            opt.devices.back().appear = std::chrono::milliseconds(n);
        } else if (name == "--late") {
            if (!number(0, 60000, n))
                return UsageError{"--late needs milliseconds 0..60000"};
            opt.late = std::chrono::milliseconds(n);
        } else if (name == "--restart") {
            if (!number(0, 60000, n))
                return UsageError{"--restart needs milliseconds 0..60000"};
            opt.restart = std::chrono::milliseconds(n);
        } else if (name == "--extra") {
            if (!number(0, 255, n))
                return UsageError{"--extra needs a number 0..255"};
            opt.extra = static_cast<int>(n);
        } else if (name == "--refuse") {
            if (!number(exc_illegal_function, exc_last, n))
                return UsageError{"--refuse needs an exception code 1..11"};
            opt.refuse = static_cast<std::uint8_t>(n);
        } else if (name == "--reply-from-old" || name == "--keep-id" || name == "--no-answer" ||
                   name == "--bad-crc" || name == "--echo") {
            bool& target = name == "--reply-from-old" ? opt.reply_from_old
                           : name == "--keep-id"      ? opt.keep_id
                           : name == "--no-answer"    ? opt.no_answer
                           : name == "--echo"         ? opt.echo
                                                      : opt.bad_crc;
            if (!flag(target))
                return UsageError{name + " takes no value"};
        } else {
            return UsageError{"unknown option: " + name};
        }
    }
    if (!have_link)
        return UsageError{"--link PATH is required"};
    if (opt.devices.empty())
        opt.devices.push_back({});
    return opt;
}

} // namespace qrv::devsim
