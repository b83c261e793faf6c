// Ctrl-C, Ctrl-\, SIGTERM and a terminal that goes away ask qrv-idctl to stop. They
// do not end the program: the command stops where no attempt is cut in half,
// says what it did and exits with exit_interrupted.
#pragma once

#include <cstddef>
#include <string>

namespace qrv::cli {

// From now on, the stop signals only set the request.
void catch_stop_signals();

// True once a stop signal has come.
bool stop_requested();

// Reads standard input to its end, at most limit bytes and one more, so that
// a stop signal ends the wait at once, a terminal's too: false when one came
// first. error: errno's value when it could not be read, else 0.
bool read_standard_input(std::string& bytes, std::size_t limit, int& error);

// The command has ended. A console being closed waits for this (Windows
// ends the program once its handler returns), a few seconds at most.
void command_ended();

} // namespace qrv::cli
