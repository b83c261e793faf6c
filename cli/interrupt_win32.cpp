#include "interrupt.h"

#include <csignal>
#include <windows.h>

namespace qrv::cli {

namespace {

volatile std::sig_atomic_t requested = 0;
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

bool stop_requested()
{
    return requested != 0;
}

} // namespace qrv::cli
