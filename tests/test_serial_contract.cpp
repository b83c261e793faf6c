// The promises every serial back end keeps, written once and run against
// the platform's own: Qt Serial Port on a pseudo-terminal, the Win32 API
// under Wine. The virtual device stands on the far end; stopping it plays a
// pulled adapter.
#include "serial_rig.h"

#include <chrono>
#include <functional>
#include <gtest/gtest.h>
#include <thread>

using namespace qrv;
using namespace qrv::test;
using namespace std::chrono;

namespace {

using Bytes = std::vector<std::uint8_t>;
const Bytes read_17{0x11, 0x03, 0x00, 0x0A, 0x00, 0x01, 0xA6, 0x98};
const Bytes answer_17{0x11, 0x03, 0x02, 0x00, 0x11, 0xB9, 0x8B};
std::uint8_t buf[16];

int write(SerialApi& lib, int port, const Bytes& bytes)
{
    return lib.sio_write(port, bytes.data(), int(bytes.size()));
}

// Sends a read of ID 17; what has come back soon after the first byte.
Bytes ask(SerialApi& lib, int port)
{
    if (write(lib, port, read_17) != sio_ok || lib.sio_wait_input(port, 1000) <= 0)
        return {};
    std::this_thread::sleep_for(50ms); // the rest of the answer
    return Bytes(buf, buf + std::max(lib.sio_read(port, buf, sizeof buf), 0));
}

// Every call on a port but open and close.
const std::pair<const char*, std::function<int(SerialApi&, int)>> port_calls[] = {
    {"iqueue", [](SerialApi& l, int p) { return l.sio_iqueue(p); }},
    {"read", [](SerialApi& l, int p) { return l.sio_read(p, buf, 8); }},
    {"flush", [](SerialApi& l, int p) { return l.sio_flush(p); }},
    {"write", [](SerialApi& l, int p) { return l.sio_write(p, buf, 8); }},
    {"baud", [](SerialApi& l, int p) { return l.sio_baud(p, 9600); }},
    {"wait", [](SerialApi& l, int p) { return l.sio_wait_input(p, 1000); }},
};

// A device that hears only at 19200 baud, on port 9 opened at that speed.
struct SerialContract : ::testing::Test {
    void SetUp() override
    {
        ASSERT_EQ(lib->sio_open(9), sio_ok);
        ASSERT_EQ(lib->sio_baud(9, 19200), sio_ok);
    }
    SerialRig rig;
    std::unique_ptr<Devsim> device = rig.device(9, {"--id", "17", "--baud", "19200"});
    std::unique_ptr<SerialApi> lib = rig.make_serial();
};

} // namespace

TEST_F(SerialContract, OnlyItsOwnPortsAndEachDeviceOnce)
{
    for (const int port : {0, 256, 5}) {
        for (const auto& [name, call] : port_calls)
            EXPECT_EQ(call(*lib, port), sio_bad_port) << name << " " << port;
        EXPECT_EQ(lib->sio_close(port), sio_bad_port) << port;
    }
    const auto other = rig.make_serial();
    EXPECT_EQ(lib->sio_open(9), sio_already_open);
    EXPECT_EQ(other->sio_open(9), sio_port_busy);
    EXPECT_EQ(other->sio_open(200), sio_no_device);
    // Said for what the system says, naming the device tried, never the number's own.
    const std::pair<std::string, int> refusals[] = {{rig.device_name(9), sio_port_busy},
                                                    {rig.missing_device(), sio_no_device},
                                                    {rig.not_a_port(), sio_not_a_port}};
    for (const auto& [device, status] : refusals) {
        EXPECT_EQ(other->sio_open_device(3, device), status) << device;
        EXPECT_EQ(other->sio_device(3), device);
    }
    EXPECT_EQ(lib->sio_close(9), sio_ok);
    ASSERT_EQ(other->sio_open_device(3, rig.device_name(9)), sio_ok);
    ASSERT_EQ(other->sio_baud(3, 19200), sio_ok);
    EXPECT_EQ(ask(*other, 3), answer_17);
}

TEST_F(SerialContract, SpeedReachesTheLineOrIsRefusedAndTheOldOneKept)
{
    const std::tuple<std::int32_t, int, bool> rows[] = {
        {0, sio_bad_baud, true}, {9600, sio_ok, false}, {19200, sio_ok, true}};
    for (const auto& [baud, status, answered] : rows) {
        EXPECT_EQ(lib->sio_baud(9, baud), status) << baud;
        EXPECT_EQ(ask(*lib, 9) == answer_17, answered) << baud;
    }
}

TEST_F(SerialContract, BytesBothWaysWaitQueueAndFlush)
{
    ASSERT_EQ(write(*lib, 9, read_17), sio_ok);
    const auto asked = steady_clock::now();
    EXPECT_GT(lib->sio_wait_input(9, 5000), 0);
    EXPECT_LT(steady_clock::now() - asked, 2s);
    std::this_thread::sleep_for(50ms); // the rest of the answer
    ASSERT_EQ(lib->sio_iqueue(9), 7);
    ASSERT_EQ(lib->sio_read(9, buf, 3), 3);
    EXPECT_EQ(lib->sio_iqueue(9), 4);
    ASSERT_EQ(lib->sio_read(9, buf + 3, 13), 4);
    EXPECT_EQ(Bytes(buf, buf + 7), answer_17);
    EXPECT_EQ(lib->sio_write(9, nullptr, 4), sio_bad_arg);
    EXPECT_EQ(lib->sio_read(9, buf, -1), sio_bad_arg);

    // Flushing drops what a wait took in as well as the system's queue.
    ASSERT_EQ(write(*lib, 9, read_17), sio_ok);
    EXPECT_GT(lib->sio_wait_input(9, 1000), 0);
    std::this_thread::sleep_for(50ms);
    EXPECT_EQ(lib->sio_flush(9), sio_ok);
    EXPECT_EQ(lib->sio_iqueue(9), 0);
    EXPECT_EQ(lib->sio_read(9, buf, 16), 0);
}

TEST_F(SerialContract, WaitThatTimesOutSleepsItsTime)
{
    const auto start = steady_clock::now();
    const milliseconds busy = rig.processor_time();
    EXPECT_EQ(lib->sio_wait_input(9, 1000), 0);
    EXPECT_GE(steady_clock::now() - start, 950ms);
    EXPECT_LT(steady_clock::now() - start, 3s);
    EXPECT_LT(rig.processor_time() - busy, 250ms);
}

TEST_F(SerialContract, WriteNobodyTakesFailsInAboutASecondAndDropsTheRest)
{
    device->signal("STOP");
    const auto start = steady_clock::now();
    EXPECT_EQ(write(*lib, 9, Bytes(256 * 1024, 0x55)), sio_write_failed);
    EXPECT_LT(steady_clock::now() - start, 2500ms);
    device->signal("CONT");
    std::this_thread::sleep_for(200ms); // the device drops what did go out as noise
    lib->sio_flush(9);
    EXPECT_EQ(ask(*lib, 9), answer_17);
}

TEST_F(SerialContract, VanishedDeviceFailsQuicklyUntilClosedAndReopened)
{
    ASSERT_EQ(lib->sio_close(9), sio_ok);
    device.reset();
    for (const auto& [first, first_call] : port_calls) {
        SCOPED_TRACE(std::string("noticed first by ") + first);
        auto line = rig.device(9);
        ASSERT_EQ(lib->sio_open(9), sio_ok);
        ASSERT_EQ(write(*lib, 9, read_17), sio_ok);
        ASSERT_GT(lib->sio_wait_input(9, 1000), 0); // bytes held as the line dies
        line.reset();
        const auto start = steady_clock::now();
        EXPECT_EQ(first_call(*lib, 9), sio_port_gone);
        for (const auto& [name, call] : port_calls)
            EXPECT_EQ(call(*lib, 9), sio_port_gone) << name;
        EXPECT_EQ(lib->sio_open(9), sio_already_open);
        EXPECT_LT(steady_clock::now() - start, 900ms); // none sits out its wait
        // Shut at once: the device and its lock are free while the number is held here.
        line = rig.device(9);
        const auto other = rig.make_serial();
        EXPECT_EQ(other->sio_open(9), sio_ok);
        EXPECT_EQ(ask(*other, 9), answer_17);
        EXPECT_EQ(other->sio_close(9), sio_ok);
        EXPECT_EQ(lib->sio_close(9), sio_ok);
    }
}
