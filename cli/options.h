// qrv-idctl's command line: its commands, the options each takes, and their
// help. Plain C++.
#pragma once

#include "checked_change.h"
#include "texts.h"
#include "vocabulary.h"
#include "watched_line.h"

#include <cstdint>
#include <optional>
#include <string>
#include <variant>
#include <vector>

namespace qrv::cli {

enum class Command { read, change, batch, scan, assign, ports };

// "read", "change", "batch", "scan", "assign" or "ports".
const char* to_string(Command command);

struct Options {
    Command command = Command::read;
    std::string port;      // a port number, or a device
    std::int32_t baud = 0; // one of the window's speeds; 0 in a scan: all of them
    std::uint8_t id = 0, from = 0, to = 0;
    std::vector<std::uint8_t> to_list;           // assign's IDs to give, in order
    std::uint8_t first_id = 1, last_id = max_id; // a scan's range
    std::string file;                            // a batch's list
    int timeout_ms = 0;                  // a read's answer window; 0: the default at the speed
    int confirm_ms = default_confirm_ms; // how long the read-back asks for the new ID
    bool force = false, no_verify = false, keep_going = false, first = false, identify = false;
    bool json = false, verbose = false;
    Echo echo = Echo::automatic;
    int max_port = port_count; // the highest port number the platform takes
};

struct Help {
    std::string text;
    bool names_tool_folder = false; // the general help ends with where the files are
};
struct UsageError {
    std::string message;
    std::optional<Command> command; // the command it was for, when that is known
};
using Parsed = std::variant<Options, Help, UsageError>;

// args excludes the program name. Port numbers go from 1 to max_port: the
// window's list on Linux, every COM port on Windows; the help names stops as
// what ends a run between attempts there.
Parsed parse_options(const std::vector<std::string>& args, int max_port = port_count,
                     const char* stops = text_stops_posix);

// The usage of every command, with their options and the exit statuses.
std::string usage_text(int max_port = port_count, const char* stops = text_stops_posix);

// The port's number when it is given as one (already checked); nothing for
// a device.
std::optional<int> port_number(const std::string& port);

} // namespace qrv::cli
