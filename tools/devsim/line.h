// The line the devices share, on the master side of a pseudo-terminal:
// frames in, answers out at their time, with the faults the options ask for,
// and what it heard and did printed and, with --log, written as events.
#pragma once

#include "device.h"
#include "options.h"

#include <string>

namespace qrv::devsim {

// A line of what the device prints, with the time of day before it.
void print_event(const std::string& text);
// A line as it is.
void print_line(const std::string& text);

// Runs the line until a stop signal arrives on sigfd. slave: the side the
// tool opens, held to read the speed it set. Throws when the log cannot be
// written or the line fails.
void run_line(int master, int slave, int sigfd, Bus& bus, const Options& opt);

} // namespace qrv::devsim
