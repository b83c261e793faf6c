#include "interrupt.h"

#include <csignal>
#include <initializer_list>

#ifdef _WIN32
#include <windows.h>
#else
#include <signal.h>
#endif

namespace qrv::cli {

namespace {

volatile std::sig_atomic_t requested = 0;

} // namespace

#ifdef _WIN32

void catch_stop_signals()
{
    // Ctrl-C and Ctrl-Break come on a thread of their own; returning TRUE
    // keeps the process alive to finish the attempt.
    SetConsoleCtrlHandler(
        [](DWORD) -> BOOL {
            requested = 1;
            return TRUE;
        },
        TRUE);
}

#else

void catch_stop_signals()
{
    struct sigaction on_stop {};
    on_stop.sa_handler = [](int) { requested = 1; };
    sigemptyset(&on_stop.sa_mask);
    on_stop.sa_flags = SA_RESTART;
    for (const int signal : {SIGINT, SIGTERM, SIGHUP})
        sigaction(signal, &on_stop, nullptr);
    // A reader that went away must not end the program in the middle of an
    // attempt: its writes fail instead.
    std::signal(SIGPIPE, SIG_IGN);
}

#endif

bool stop_requested()
{
    return requested != 0;
}

} // namespace qrv::cli
