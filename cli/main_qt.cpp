// qrv-idctl on Linux: the command line on Qt Serial Port and Qt Core's
// clock, its files in its tool folder (tool_folder.h).
#include "idctl.h"
#include "interrupt.h"
#include "program_folder.h"
#include "qt_clock.h"
#include "qt_serial.h"
#include "tool_folder.h"

#include <QCoreApplication>
#include <unistd.h>

namespace {

// The stop signals are caught before anything else runs, Qt's start-up too:
// a Ctrl-C that early still stops the tool the way every other one does.
[[maybe_unused]] const bool stop_signals_caught = (qrv::cli::catch_stop_signals(), true);

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    const std::string folder = qrv::tool_folder(qrv::program_folder());
    qrv::QtSerial serial(folder);
    qrv::QtClock clock;
    const qrv::cli::Platform platform{serial, clock, qrv::cli::stop_requested,
                                      ::isatty(STDERR_FILENO) != 0, qrv::port_count};
    qrv::cli::FileOut out(stdout), err(stderr);
    return qrv::cli::run(std::vector<std::string>(argv + 1, argv + argc), folder, platform, out,
                         err);
}
