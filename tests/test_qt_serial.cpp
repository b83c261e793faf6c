// What the Linux back end does beyond the promises every back end keeps:
// which device a port number is, the line's settings, and the lock shared
// by the names of one device.
#include "pty.h"
#include "qt_serial.h"

#include <fcntl.h>
#include <filesystem>
#include <gtest/gtest.h>
#include <termios.h>
#include <unistd.h>

using namespace qrv;
using namespace qrv::test;
using namespace std::chrono;

// The application object's event loop never runs here: no call depends on it.
TEST(QtSerial, PortNumberNamesALinkInTheToolFolderElseTtyS)
{
    TempDir tool;
    std::filesystem::create_directories(tool.file("ports"));
    ASSERT_EQ(::symlink("/nonexistent/ttyUSB7", tool.file("ports/COM7").c_str()), 0);
    const std::pair<int, std::string> rows[] = {
        {7, tool.file("ports/COM7")}, // even a dead link wins
        {8, "/dev/ttyS7"},
        {255, "/dev/ttyS254"},
        {0, ""},
        {256, ""}};
    const QtSerial lib(tool.path());
    for (const auto& [port, path] : rows)
        EXPECT_EQ(lib.device_path(port), path) << port;
}

TEST(QtSerial, OpensAt8N1AndSetsTheSpeedOfTheRealDevice)
{
    TempDir tool;
    Pty pty;
    pty.link(tool.file("ports/COM9"));
    pty.link(tool.file("ports/COM10")); // the same device under a second name
    std::filesystem::create_directories(tool.file("ports"));
    write_file(tool.file("ports/COM4"), "not a tty");
    QtSerial lib(tool.path()), other(tool.path());
    ASSERT_EQ(lib.sio_open(9), sio_ok);
    EXPECT_EQ(other.sio_open(10), sio_port_busy); // both names meet at one lock
    EXPECT_EQ(other.sio_open(4), sio_not_a_port);
    // A user the device's permissions keep out is told so, not that another program has it.
    EXPECT_TRUE(
        as_unprivileged([&] { return QtSerial(tool.path()).sio_open(10) == sio_no_access; }));
    EXPECT_EQ(lib.sio_baud(9, 19200), sio_ok);
    termios t{};
    const int fd = ::open(pty.slave_path().c_str(), O_RDWR | O_NOCTTY);
    ASSERT_EQ(::tcgetattr(fd, &t), 0);
    ::close(fd);
    EXPECT_EQ(t.c_cflag & (CSIZE | PARENB | CSTOPB | CRTSCTS), tcflag_t(CS8));
    EXPECT_EQ(t.c_iflag & (IXON | IXOFF), 0u);
    EXPECT_EQ(cfgetospeed(&t), speed_t(B19200));
}
