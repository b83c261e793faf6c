// qrv-idctl: the ID change from the command line, with the checks a
// technician wants when commissioning many devices.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

namespace qrv::cli {

// Exit statuses.
enum Exit : int {
    exit_ok = 0,     // done, and confirmed where it is checked
    exit_failed = 1, // the device did not take or confirm the ID, or nothing answered
    exit_usage = 2,  // usage or input file error
    exit_port = 3,   // the port could not be opened or set
    exit_taken = 4,  // refused: the new ID is taken on this line
};

// Runs the command line args (without the program name); the day log goes
// to tool_folder, which also holds ports/. Results go to out, progress,
// frames and errors to err.
int run(const std::vector<std::string>& args, const std::string& tool_folder, std::FILE* out,
        std::FILE* err);

} // namespace qrv::cli
