#include "interrupt.h"

#include <cerrno>
#include <csignal>
#include <initializer_list>
#include <poll.h>
#include <signal.h>
#include <unistd.h>

namespace qrv::cli {

namespace {

volatile std::sig_atomic_t requested = 0;

// A read that waits for input looks at the stop this often.
constexpr int stop_look_ms = 50;

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

bool read_standard_input(std::string& bytes, std::size_t limit, int& error)
{
    error = 0;
    while (bytes.size() <= limit) {
        if (stop_requested())
            return false;
        pollfd in{STDIN_FILENO, POLLIN, 0};
        if (const int ready = ::poll(&in, 1, stop_look_ms); ready <= 0) {
            if (ready < 0 && errno != EINTR) {
                error = errno;
                return true;
            }
            continue;
        }
        char buf[4096];
        const ssize_t n = ::read(STDIN_FILENO, buf, sizeof buf);
        if (n == 0)
            return true;
        if (n > 0)
            bytes.append(buf, static_cast<std::size_t>(n));
        else if (errno != EINTR && errno != EAGAIN) {
            error = errno;
            return true;
        }
    }
    return true;
}

} // namespace qrv::cli
