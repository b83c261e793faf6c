#include "pty.h"
#define QRV_TEST_CORE_APP_ONLY
#include "qt_app.h"
#include "serial_lib.h"

#include <QCoreApplication>

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

namespace {

// The tool has an application object, so the tests have one too; its event
// loop never runs, which shows no call depends on it.
[[maybe_unused]] auto* const qt_app =
    ::testing::AddGlobalTestEnvironment(new AppEnvironment<QCoreApplication>);

const Bytes frame{0x01, 0x06, 0x00, 0x10, 0x00, 0x05, 0x88, 0x0c};
std::uint8_t buf[16];

// Every call that takes an open port, and what it gives once the device is gone.
const struct {
    const char* name;
    std::function<int(SerialLib&, int)> call;
    int gone;
} port_calls[] = {
    {"iqueue", [](SerialLib& l, int p) { return l.sio_iqueue(p); }, sio_read_failed},
    {"read", [](SerialLib& l, int p) { return l.sio_read(p, buf, 8); }, sio_read_failed},
    {"flush", [](SerialLib& l, int p) { return l.sio_flush(p); }, sio_read_failed},
    {"write", [](SerialLib& l, int p) { return l.sio_write(p, buf, 8); }, sio_write_failed},
    {"baud", [](SerialLib& l, int p) { return l.sio_baud(p, 9600); }, sio_bad_baud},
};

// Bytes written at the master reach the slave a moment later.
int iqueue_once_settled(SerialLib& lib, int want)
{
    int n = lib.sio_iqueue(9);
    for (auto end = steady_clock::now() + 1s; n >= 0 && n < want && steady_clock::now() < end;) {
        std::this_thread::sleep_for(5ms);
        n = lib.sio_iqueue(9);
    }
    return n;
}

termios line_settings(const std::string& device)
{
    termios t{};
    const int fd = ::open(device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    EXPECT_EQ(::tcgetattr(fd, &t), 0);
    ::close(fd);
    return t;
}

class SerialLibTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        pty.link(tool.file("ports/COM9"));
        ASSERT_EQ(lib.sio_open(9), sio_ok);
    }
    int write(int port, const Bytes& b) { return lib.sio_write(port, b.data(), int(b.size())); }

    TempDir tool;
    Pty pty;
    SerialLib lib{tool.path()};
};

} // namespace

TEST(SerialLib, PortDevicePathIsLinkInToolFolderElseTtyS)
{
    TempDir tool;
    std::filesystem::create_directories(tool.file("ports"));
    ASSERT_EQ(::symlink("/dev/null", tool.file("ports/COM9").c_str()), 0);
    ASSERT_EQ(::symlink("/nonexistent/ttyUSB7", tool.file("ports/COM7").c_str()), 0);
    const std::pair<int, std::string> cases[] = {
        {9, tool.file("ports/COM9")},
        {7, tool.file("ports/COM7")}, // even a dead link wins
        {8, "/dev/ttyS7"},
        {1, "/dev/ttyS0"},
        {255, "/dev/ttyS254"},
        {0, ""},
        {256, ""},
        {-1, ""}};
    for (const auto& [port, path] : cases)
        EXPECT_EQ(port_device_path(tool.path(), port), path) << "port " << port;
}

TEST_F(SerialLibTest, OpensAt8N1AndSetsSpeed)
{
    termios t = line_settings(pty.slave_path());
    EXPECT_EQ(t.c_cflag & CSIZE, tcflag_t(CS8));
    EXPECT_EQ(t.c_cflag & (PARENB | CSTOPB | CRTSCTS), 0u);
    EXPECT_EQ(t.c_iflag & (IXON | IXOFF), 0u);
    EXPECT_EQ(lib.sio_baud(9, 19200), sio_ok);
    EXPECT_EQ(cfgetospeed(&(t = line_settings(pty.slave_path()))), speed_t(B19200));
    EXPECT_EQ(lib.sio_baud(9, 0), sio_bad_baud);
    EXPECT_EQ(lib.sio_baud(9, -9600), sio_bad_baud);
}

TEST_F(SerialLibTest, BytesFlowBothWaysWithoutEventLoop)
{
    ASSERT_EQ(write(9, frame), sio_ok);
    EXPECT_EQ(pty.read(frame.size(), 1s), frame);
    EXPECT_EQ(lib.sio_write(9, buf, 0), sio_ok);
    EXPECT_TRUE(pty.read(1, 50ms).empty());

    pty.write(Bytes(frame.begin(), frame.begin() + 3));
    pty.write(Bytes(frame.begin() + 3, frame.end()));
    ASSERT_EQ(iqueue_once_settled(lib, 8), 8);
    Bytes got(16);
    ASSERT_EQ(lib.sio_read(9, got.data(), 3), 3);
    EXPECT_EQ(lib.sio_iqueue(9), 5);
    ASSERT_EQ(lib.sio_read(9, got.data() + 3, 16), 5);
    got.resize(8);
    EXPECT_EQ(got, frame);
    EXPECT_EQ(lib.sio_read(9, got.data(), 8), 0);

    EXPECT_EQ(lib.sio_write(9, nullptr, 4), sio_bad_arg);
    EXPECT_EQ(lib.sio_write(9, buf, -1), sio_bad_arg);
    EXPECT_EQ(lib.sio_read(9, nullptr, 4), sio_bad_arg);
    EXPECT_EQ(lib.sio_read(9, buf, -1), sio_bad_arg);
}

TEST_F(SerialLibTest, FlushDropsEverythingReceived)
{
    pty.write(frame);
    ASSERT_EQ(iqueue_once_settled(lib, 8), 8);
    pty.write(frame); // still with the system, not yet taken in
    std::this_thread::sleep_for(50ms);
    EXPECT_EQ(lib.sio_flush(9), sio_ok);
    EXPECT_EQ(lib.sio_iqueue(9), 0);
    pty.write({0x42});
    EXPECT_EQ(iqueue_once_settled(lib, 1), 1);
}

TEST_F(SerialLibTest, WriteNobodyTakesFailsInAboutASecondAndDropsTheRest)
{
    const auto start = steady_clock::now();
    EXPECT_EQ(write(9, Bytes(256 * 1024, 0x55)), sio_write_failed);
    EXPECT_LT(steady_clock::now() - start, 1500ms);
    const auto stuck = pty.read(256 * 1024, 200ms).size();
    ASSERT_EQ(write(9, frame), sio_ok);
    EXPECT_EQ(pty.read(frame.size(), 1s), frame) << stuck << " bytes went through before";
}

TEST_F(SerialLibTest, PortsNotOpenHereRefusedAndOpenPortUntouched)
{
    pty.write(frame);
    ASSERT_EQ(iqueue_once_settled(lib, 8), 8);
    for (int port : {0, -1, 256})
        EXPECT_EQ(lib.sio_open(port), sio_bad_port) << port;
    for (int port : {0, -1, 256, 5}) {
        for (const auto& c : port_calls)
            EXPECT_EQ(c.call(lib, port), sio_bad_port) << c.name << " " << port;
        EXPECT_EQ(lib.sio_close(port), sio_bad_port) << port;
    }
    EXPECT_EQ(lib.sio_iqueue(9), 8);
    EXPECT_TRUE(pty.read(1, 50ms).empty());
}

TEST_F(SerialLibTest, OneOpenerPerDeviceUntilClosed)
{
    pty.link(tool.file("ports/COM10")); // the same device under a second number
    SerialLib other(tool.path());
    EXPECT_EQ(lib.sio_open(9), sio_already_open);
    EXPECT_EQ(lib.sio_open(10), sio_open_failed);
    EXPECT_EQ(other.sio_open(9), sio_open_failed);

    EXPECT_EQ(lib.sio_close(9), sio_ok);
    EXPECT_EQ(lib.sio_close(9), sio_bad_port);
    ASSERT_EQ(other.sio_open(9), sio_ok);
    EXPECT_EQ(other.sio_close(9), sio_ok);
    ASSERT_EQ(lib.sio_open(10), sio_ok);
    ASSERT_EQ(write(10, frame), sio_ok);
    EXPECT_EQ(pty.read(frame.size(), 1s), frame);
}

TEST(SerialLib, OpenFailsWithoutUsableDevice)
{
    TempDir tool;
    std::filesystem::create_directories(tool.file("ports"));
    ASSERT_EQ(::symlink("/nonexistent/ttyUSB0", tool.file("ports/COM3").c_str()), 0);
    write_file(tool.file("ports/COM4"), "not a tty");
    ASSERT_NE(::access("/dev/ttyS199", F_OK), 0);
    SerialLib lib(tool.path());
    for (int port : {3, 4, 200}) {
        EXPECT_EQ(lib.sio_open(port), sio_open_failed) << port;
        EXPECT_EQ(lib.sio_close(port), sio_bad_port) << port;
    }
}

TEST(SerialLib, VanishedDeviceFailsQuicklyUntilClosedAndReopened)
{
    for (const auto& first : port_calls) {
        SCOPED_TRACE(std::string("noticed first by ") + first.name);
        TempDir tool;
        SerialLib lib(tool.path());
        {
            Pty pty;
            pty.link(tool.file("ports/COM9"));
            ASSERT_EQ(lib.sio_open(9), sio_ok);
            pty.write(frame);
            ASSERT_EQ(iqueue_once_settled(lib, 8), 8);
            pty.close_master();
            const auto start = steady_clock::now();
            EXPECT_EQ(first.call(lib, 9), first.gone);
            for (const auto& c : port_calls)
                EXPECT_EQ(c.call(lib, 9), c.gone) << c.name;
            EXPECT_EQ(lib.sio_open(9), sio_already_open);
            EXPECT_LT(steady_clock::now() - start, 500ms);
            EXPECT_EQ(lib.sio_close(9), sio_ok);
        }
        Pty back;
        back.link(tool.file("ports/COM9"));
        ASSERT_EQ(lib.sio_open(9), sio_ok);
        back.write(frame);
        EXPECT_EQ(iqueue_once_settled(lib, 8), 8);
    }
}
