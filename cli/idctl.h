// qrv-idctl: the ID change from the command line, with the checks a
// technician wants when commissioning many devices.
#pragma once

#include "clock.h"
#include "interrupt.h"
#include "ports.h"
#include "serial_api.h"
#include "text_sink.h"
#include "texts.h"
#include "vocabulary.h"

#include <cstdio>
#include <functional>
#include <string>
#include <vector>

namespace qrv::cli {

// What the commands run on. The members are borrowed for the run.
struct Platform {
    SerialApi& serial;
    Clock& clock; // dates and time; the waits sleep on the line instead
    // True once the user has asked to stop (Ctrl-C, SIGTERM).
    std::function<bool()> stop = [] { return false; };
    // Standard error is a terminal: progress is shown there.
    bool err_is_terminal = false;
    // The highest port number: the window's list on Linux, every COM port on Windows.
    int max_port = port_count;
    // Reads a batch list from standard input as read_standard_input does.
    std::function<bool(std::string&, std::size_t, int&)> read_input = read_standard_input;
    // What stops a run there, and what the tool's folder holds, as the help
    // says them.
    const char* stops = text_stops_posix;
    const char* folder_holds = text_folder_holds_posix;
    // The serial ports the system has, with the tool folder's links.
    std::function<std::vector<SystemPort>(const std::string&)> list_ports = system_ports;
};

// Runs the command line args (without the program name); the day log goes
// to tool_folder. Results go to out; progress, frames and, without --json,
// errors go to err. Returns the exit status (see report.h).
int run(const std::vector<std::string>& args, const std::string& tool_folder,
        const Platform& platform, TextSink& out, TextSink& err);

} // namespace qrv::cli
