#include "interrupt.h"

#include <cerrno>
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

bool read_standard_input(std::string& bytes, std::size_t limit, int& error)
{
    error = 0;
    HANDLE in = GetStdHandle(STD_INPUT_HANDLE);
    DWORD mode = 0;
    const bool console = GetConsoleMode(in, &mode) != 0;
    while (bytes.size() <= limit && !stop_requested()) {
        char buf[4096];
        DWORD n = 0;
        const BOOL read = ReadFile(in, buf, sizeof buf, &n, nullptr);
        // Ctrl-C ends a console's read, and its handler runs on a thread of
        // its own: given a moment, the stop is seen before the end of input.
        if (console && n == 0) {
            Sleep(50);
            if (stop_requested())
                return false;
        }
        if (!read) {
            const DWORD why = GetLastError();
            if (why == ERROR_OPERATION_ABORTED)
                continue;
            if (why != ERROR_BROKEN_PIPE && why != ERROR_HANDLE_EOF)
                error = EIO;
            return true;
        }
        if (n == 0)
            return true;
        bytes.append(buf, n);
    }
    return !stop_requested();
}

} // namespace qrv::cli
