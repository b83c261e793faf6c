// SIGTERM, SIGINT and SIGHUP to the window are an end of its session: a
// change waiting for its reply is finished and filed, then the program quits.
#pragma once

#include <functional>

// From now on; end_session runs on the window's thread, as an event.
void quit_on_stop_signals(std::function<void()> end_session);
