#include "interrupt.h"

#include <csignal>
#include <initializer_list>
#include <signal.h>

namespace qrv::cli {

namespace {

volatile std::sig_atomic_t requested = 0;

} // namespace

void catch_stop_signals()
{
    struct sigaction on_stop {};
    on_stop.sa_handler = [](int) { requested = 1; };
    sigemptyset(&on_stop.sa_mask);
    on_stop.sa_flags = SA_RESTART;
    for (const int signal : {SIGINT, SIGTERM, SIGHUP, SIGQUIT})
        sigaction(signal, &on_stop, nullptr);
    // A reader that went away must not end the program in the middle of an
    // attempt: its writes fail instead.
    std::signal(SIGPIPE, SIG_IGN);
}

void command_ended()
{
}

bool stop_requested()
{
    return requested != 0;
}

} // namespace qrv::cli
