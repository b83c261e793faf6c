// Ctrl-C, Ctrl-\, SIGTERM and a terminal that goes away ask qrv-idctl to stop. They
// do not end the program: the command stops where no attempt is cut in half,
// says what it did and exits with exit_interrupted.
#pragma once

namespace qrv::cli {

// From now on, the stop signals only set the request.
void catch_stop_signals();

// True once a stop signal has come.
bool stop_requested();

// The command has ended. A console being closed waits for this (Windows
// ends the program once its handler returns), a few seconds at most.
void command_ended();

} // namespace qrv::cli
