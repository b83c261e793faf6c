// The Win32 serial library under Wine against qrv-devsim, a Linux program
// that Wine starts like any other: its link in the prefix's dosdevices folder
// is the COM port. Stopping the device plays a pulled adapter.
#include "files.h"
#include "win32_serial.h"
#include "wine.h"

#include <windows.h>

#include <bit>
#include <chrono>
#include <filesystem>
#include <functional>
#include <gtest/gtest.h>
#include <thread>
#include <tuple>

using namespace qrv;
using qrv::test::Devsim;
using namespace std::chrono;
using Bytes = std::vector<std::uint8_t>;

namespace {

const Bytes read_17{0x11, 0x03, 0x00, 0x0A, 0x00, 0x01, 0xA6, 0x98};
const Bytes answer_17{0x11, 0x03, 0x02, 0x00, 0x11, 0xB9, 0x8B};
std::uint8_t buf[16];

// Sends a read of ID 17; what has come back soon after the first byte.
Bytes ask(Win32Serial& lib, int port)
{
    if (lib.sio_write(port, read_17.data(), int(read_17.size())) != sio_ok ||
        lib.sio_wait_input(port, 1000) <= 0)
        return {};
    std::this_thread::sleep_for(50ms); // the rest of the answer
    return Bytes(buf, buf + std::max(lib.sio_read(port, buf, sizeof buf), 0));
}

milliseconds processor_time()
{
    FILETIME t[4];
    GetProcessTimes(GetCurrentProcess(), &t[0], &t[1], &t[2], &t[3]);
    return milliseconds((std::bit_cast<ULONGLONG>(t[2]) + std::bit_cast<ULONGLONG>(t[3])) / 10000);
}

// Every call on an open port: each says sio_port_gone once the device is gone.
const std::pair<const char*, std::function<int(Win32Serial&, int)>> port_calls[] = {
    {"iqueue", [](Win32Serial& l, int p) { return l.sio_iqueue(p); }},
    {"read", [](Win32Serial& l, int p) { return l.sio_read(p, buf, 8); }},
    {"flush", [](Win32Serial& l, int p) { return l.sio_flush(p); }},
    {"write", [](Win32Serial& l, int p) { return l.sio_write(p, buf, 8); }},
    {"baud", [](Win32Serial& l, int p) { return l.sio_baud(p, 9600); }},
    {"wait", [](Win32Serial& l, int p) { return l.sio_wait_input(p, 1000); }},
};

// A device that hears only at 19200 baud, on a line set so.
struct Win32SerialTest : ::testing::Test {
    void SetUp() override
    {
        ASSERT_EQ(lib.sio_open(9), sio_ok);
        ASSERT_EQ(lib.sio_baud(9, 19200), sio_ok);
    }
    int write(const Bytes& b) { return lib.sio_write(9, b.data(), int(b.size())); }

    Devsim dev{9, {"--id", "17", "--baud", "19200"}};
    Win32Serial lib;
};

} // namespace

TEST_F(Win32SerialTest, EachDeviceOnceAndFreeAgainWhenClosed)
{
    Win32Serial other;
    EXPECT_EQ(other.sio_open(9), sio_open_failed);
    EXPECT_EQ(other.open_device(3, "com9"), sio_open_failed);
    EXPECT_EQ(other.open_device(4, "NUL"), sio_open_failed); // no serial port
    EXPECT_EQ(lib.sio_close(9), sio_ok);
    ASSERT_EQ(other.sio_open(9), sio_ok);
    EXPECT_EQ(ask(other, 9), answer_17);
}

TEST(Win32Serial, PortsAboveNineByNumberOrName)
{
    // The one name that reaches COM10 and above on Windows; Wine opens others too.
    EXPECT_EQ(win32_port_path(12), R"(\\.\COM12)");
    EXPECT_EQ(win32_device_path("com12"), R"(\\.\COM12)");
    Devsim dev(12);
    for (const char* name : {"", "COM12", R"(\\.\com12)"}) {
        Win32Serial lib;
        ASSERT_EQ(*name ? lib.open_device(12, name) : lib.sio_open(12), sio_ok) << name;
        EXPECT_EQ(ask(lib, 12), answer_17) << name;
    }
}

TEST_F(Win32SerialTest, SpeedReachesTheLineOrIsRefusedAndTheOldOneKept)
{
    const std::tuple<std::int32_t, int, bool> rows[] = {
        {12345, sio_bad_baud, true}, {9600, sio_ok, false}, {19200, sio_ok, true}};
    for (const auto& [baud, status, answered] : rows) {
        EXPECT_EQ(lib.sio_baud(9, baud), status) << baud;
        EXPECT_EQ(ask(lib, 9) == answer_17, answered) << baud;
    }
}

TEST_F(Win32SerialTest, BytesBothWaysWaitQueueAndFlush)
{
    ASSERT_EQ(write(read_17), sio_ok);
    const auto asked = steady_clock::now();
    EXPECT_GT(lib.sio_wait_input(9, 5000), 0);
    EXPECT_LT(steady_clock::now() - asked, 2s);
    std::this_thread::sleep_for(50ms); // the rest of the answer
    ASSERT_EQ(lib.sio_iqueue(9), 7);
    ASSERT_EQ(lib.sio_read(9, buf, 3), 3);
    EXPECT_EQ(lib.sio_iqueue(9), 4);
    ASSERT_EQ(lib.sio_read(9, buf + 3, 13), 4);
    EXPECT_EQ(Bytes(buf, buf + 7), answer_17);

    // Flushing drops the byte the wait took as well as the driver's queue.
    ASSERT_EQ(write(read_17), sio_ok);
    EXPECT_GT(lib.sio_wait_input(9, 1000), 0);
    std::this_thread::sleep_for(50ms);
    EXPECT_EQ(lib.sio_flush(9), sio_ok);
    EXPECT_EQ(lib.sio_iqueue(9), 0);
    EXPECT_EQ(lib.sio_read(9, buf, 16), 0);
}

TEST_F(Win32SerialTest, WaitThatTimesOutSleepsItsTime)
{
    const auto start = steady_clock::now();
    const milliseconds busy = processor_time();
    EXPECT_EQ(lib.sio_wait_input(9, 1000), 0);
    EXPECT_GE(steady_clock::now() - start, 950ms);
    EXPECT_LT(steady_clock::now() - start, 3s);
    EXPECT_LT(processor_time() - busy, 250ms);
}

TEST_F(Win32SerialTest, WriteNobodyTakesFailsInAboutASecondAndDropsTheRest)
{
    dev.signal("STOP");
    const auto start = steady_clock::now();
    EXPECT_EQ(write(Bytes(256 * 1024, 0x55)), sio_write_failed);
    EXPECT_LT(steady_clock::now() - start, 2500ms);
    dev.signal("CONT");
    std::this_thread::sleep_for(200ms); // the device drops what did go out as noise
    EXPECT_EQ(ask(lib, 9), answer_17);
}

TEST(Win32Serial, UnpluggedAdapterFailsQuicklyUntilClosedAndReopened)
{
    for (const auto& [first, first_call] : port_calls) {
        SCOPED_TRACE(std::string("noticed first by ") + first);
        Win32Serial lib;
        {
            Devsim dev(9);
            ASSERT_EQ(lib.sio_open(9), sio_ok);
            ASSERT_EQ(lib.sio_write(9, read_17.data(), int(read_17.size())), sio_ok);
            ASSERT_GT(lib.sio_wait_input(9, 1000), 0); // bytes held as the line dies
        }
        const auto start = steady_clock::now();
        EXPECT_EQ(first_call(lib, 9), sio_port_gone);
        for (const auto& [name, call] : port_calls)
            EXPECT_EQ(call(lib, 9), sio_port_gone) << name;
        EXPECT_EQ(lib.sio_open(9), sio_already_open);
        EXPECT_LT(steady_clock::now() - start, 900ms); // none sits out its wait
        // Shut at once: the device and its lock are free while the number is still held here.
        Devsim back(9);
        Win32Serial other;
        EXPECT_EQ(other.sio_open(9), sio_ok);
        EXPECT_EQ(other.sio_close(9), sio_ok);
        EXPECT_EQ(lib.sio_close(9), sio_ok);
        ASSERT_EQ(lib.sio_open(9), sio_ok);
        EXPECT_EQ(ask(lib, 9), answer_17);
    }
}
