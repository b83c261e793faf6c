#include "pty.h"
#include "qt_serial.h"

#include <fcntl.h>
#include <filesystem>
#include <functional>
#include <gtest/gtest.h>
#include <termios.h>
#include <thread>
#include <unistd.h>

using namespace qrv;
using namespace qrv::test;
using namespace std::chrono;

// The application object's event loop never runs here: no call depends on it.
namespace {

const Bytes frame{0x01, 0x06, 0x00, 0x10, 0x00, 0x05, 0x88, 0x0c};
std::uint8_t buf[16];

// Every call on an open port: each says sio_port_gone once the device is gone.
const struct {
    const char* name;
    std::function<int(QtSerial&, int)> call;
} port_calls[] = {
    {"iqueue", [](QtSerial& l, int p) { return l.sio_iqueue(p); }},
    {"read", [](QtSerial& l, int p) { return l.sio_read(p, buf, 8); }},
    {"flush", [](QtSerial& l, int p) { return l.sio_flush(p); }},
    {"write", [](QtSerial& l, int p) { return l.sio_write(p, buf, 8); }},
    {"baud", [](QtSerial& l, int p) { return l.sio_baud(p, 9600); }},
    {"wait", [](QtSerial& l, int p) { return l.sio_wait_input(p, 1000); }},
};

struct QtSerialTest : ::testing::Test {
    void SetUp() override
    {
        pty.link(tool.file("ports/COM9"));
        ASSERT_EQ(lib.sio_open(9), sio_ok);
    }
    int write(int port, const Bytes& b) { return lib.sio_write(port, b.data(), int(b.size())); }

    TempDir tool;
    Pty pty;
    QtSerial lib{tool.path()};
};

} // namespace

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
    for (const auto& [port, path] : rows)
        EXPECT_EQ(port_device_path(tool.path(), port), path) << port;
}

TEST_F(QtSerialTest, OpensAt8N1AndSetsTheSpeed)
{
    EXPECT_EQ(lib.sio_baud(9, 19200), sio_ok);
    EXPECT_EQ(lib.sio_baud(9, 0), sio_bad_baud);
    termios t{};
    const int fd = ::open(pty.slave_path().c_str(), O_RDWR | O_NOCTTY);
    ASSERT_EQ(::tcgetattr(fd, &t), 0);
    ::close(fd);
    EXPECT_EQ(t.c_cflag & (CSIZE | PARENB | CSTOPB | CRTSCTS), tcflag_t(CS8));
    EXPECT_EQ(t.c_iflag & (IXON | IXOFF), 0u);
    EXPECT_EQ(cfgetospeed(&t), speed_t(B19200));
}

TEST_F(QtSerialTest, BytesFlowBothWaysWithoutAnEventLoop)
{
    ASSERT_EQ(write(9, frame), sio_ok);
    EXPECT_EQ(pty.read(frame.size(), 1s), frame);
    pty.write(Bytes(frame.begin(), frame.begin() + 3));
    pty.write(Bytes(frame.begin() + 3, frame.end()));
    std::this_thread::sleep_for(50ms); // from the master to the slave
    ASSERT_EQ(lib.sio_iqueue(9), 8);
    Bytes got(16);
    ASSERT_EQ(lib.sio_read(9, got.data(), 3), 3);
    EXPECT_EQ(lib.sio_iqueue(9), 5);
    ASSERT_EQ(lib.sio_read(9, got.data() + 3, 16), 5);
    EXPECT_EQ(Bytes(got.begin(), got.begin() + 8), frame);
    EXPECT_EQ(lib.sio_write(9, nullptr, 4), sio_bad_arg);
    EXPECT_EQ(lib.sio_read(9, buf, -1), sio_bad_arg);

    // Flushing drops also what the system holds and was not yet taken in.
    pty.write(frame);
    std::this_thread::sleep_for(50ms); // from the master to the slave
    EXPECT_EQ(lib.sio_flush(9), sio_ok);
    EXPECT_EQ(lib.sio_iqueue(9), 0);
}

TEST_F(QtSerialTest, WriteNobodyTakesFailsInAboutASecondAndDropsTheRest)
{
    const auto start = steady_clock::now();
    EXPECT_EQ(write(9, Bytes(256 * 1024, 0x55)), sio_write_failed);
    EXPECT_LT(steady_clock::now() - start, 3000ms); // given up, not stuck
    pty.read(256 * 1024, 200ms);
    ASSERT_EQ(write(9, frame), sio_ok);
    EXPECT_EQ(pty.read(frame.size(), 1s), frame);
}

TEST_F(QtSerialTest, OnlyItsOwnOpenPortsAndEachDeviceOnce)
{
    for (int port : {0, 256, 5}) {
        for (const auto& c : port_calls)
            EXPECT_EQ(c.call(lib, port), sio_bad_port) << c.name << " " << port;
        EXPECT_EQ(lib.sio_close(port), sio_bad_port) << port;
    }
    pty.link(tool.file("ports/COM10")); // the same device under a second number
    ::symlink("/nonexistent/ttyUSB0", tool.file("ports/COM3").c_str());
    write_file(tool.file("ports/COM4"), "not a tty");
    QtSerial other(tool.path());
    EXPECT_EQ(lib.sio_open(9), sio_already_open);
    for (int port : {10, 3, 4, 200})
        EXPECT_EQ(lib.sio_open(port), sio_open_failed) << port;
    EXPECT_EQ(other.sio_open(9), sio_open_failed);
    EXPECT_EQ(lib.sio_close(9), sio_ok);
    ASSERT_EQ(other.sio_open(9), sio_ok);
    ASSERT_EQ(other.sio_close(9), sio_ok);
    ASSERT_EQ(lib.sio_open(10), sio_ok);
    ASSERT_EQ(write(10, frame), sio_ok);
    EXPECT_EQ(pty.read(frame.size(), 1s), frame);
}

TEST(QtSerial, VanishedDeviceFailsQuicklyUntilClosedAndReopened)
{
    for (const auto& first : port_calls) {
        SCOPED_TRACE(std::string("noticed first by ") + first.name);
        TempDir tool;
        QtSerial lib(tool.path());
        {
            Pty pty;
            pty.link(tool.file("ports/COM9"));
            ASSERT_EQ(lib.sio_open(9), sio_ok);
            pty.write(frame);
            std::this_thread::sleep_for(50ms); // from the master to the slave
            pty.close_master();
            const auto start = steady_clock::now();
            EXPECT_EQ(first.call(lib, 9), sio_port_gone);
            for (const auto& c : port_calls)
                EXPECT_EQ(c.call(lib, 9), sio_port_gone) << c.name;
            EXPECT_EQ(lib.sio_open(9), sio_already_open);
            EXPECT_LT(steady_clock::now() - start, 900ms); // none sits out its wait
            EXPECT_EQ(lib.sio_close(9), sio_ok);
        }
        Pty back;
        back.link(tool.file("ports/COM9"));
        ASSERT_EQ(lib.sio_open(9), sio_ok);
        back.write(frame);
        std::this_thread::sleep_for(50ms); // from the master to the slave
        EXPECT_EQ(lib.sio_iqueue(9), 8);
    }
}
