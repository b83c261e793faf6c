#include "stop_signals.h"

#include <QCoreApplication>
#include <QSocketNotifier>
#include <csignal>
#include <sys/socket.h>
#include <unistd.h>

namespace {

// The signal handler only writes here; the window's event loop reads.
int wake_fds[2] = {-1, -1};

void on_signal(int)
{
    const char byte = 1;
    [[maybe_unused]] const ssize_t n = ::write(wake_fds[1], &byte, 1);
}

} // namespace

void quit_on_stop_signals(std::function<void()> end_session)
{
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, wake_fds) != 0)
        return;
    auto* notifier = new QSocketNotifier(wake_fds[0], QSocketNotifier::Read, qApp);
    QObject::connect(notifier, &QSocketNotifier::activated, qApp,
                     [notifier, end_session = std::move(end_session)] {
                         char byte;
                         [[maybe_unused]] const ssize_t n = ::read(wake_fds[0], &byte, 1);
                         notifier->setEnabled(false);
                         end_session();
                         QCoreApplication::quit();
                     });
    struct sigaction stop {};
    stop.sa_handler = on_signal;
    sigemptyset(&stop.sa_mask);
    stop.sa_flags = SA_RESTART;
    for (const int signal : {SIGTERM, SIGINT, SIGHUP})
        ::sigaction(signal, &stop, nullptr);
}
