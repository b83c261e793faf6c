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

namespace {

HANDLE ended = nullptr;

} // namespace

void catch_stop_signals()
{
    ended = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    // The events come on a thread of their own. For Ctrl-C and Ctrl-Break,
    // returning TRUE keeps the program going to finish the attempt; a closed
    // console ends it when the handler returns, so the handler waits for the
    // command, within the time Windows gives it.
    SetConsoleCtrlHandler(
        [](DWORD event) -> BOOL {
            requested = 1;
            if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT && ended)
                WaitForSingleObject(ended, 4500);
            return TRUE;
        },
        TRUE);
}

void command_ended()
{
    if (ended)
        SetEvent(ended);
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

void command_ended()
{
}

#endif

bool stop_requested()
{
    return requested != 0;
}

} // namespace qrv::cli
