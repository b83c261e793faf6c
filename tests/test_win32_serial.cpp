// What the Win32 back end does beyond the promises every back end keeps:
// the names of COM ports, which reach COM10 and above only as \\.\COMN, and
// a speed Wine would run at another speed.
#include "win32_serial.h"
#include "wine.h"

#include <gtest/gtest.h>
#include <thread>

using namespace qrv;
using qrv::test::Devsim;
using namespace std::chrono;
using Bytes = std::vector<std::uint8_t>;

namespace {

const Bytes read_17{0x11, 0x03, 0x00, 0x0A, 0x00, 0x01, 0xA6, 0x98};
const Bytes answer_17{0x11, 0x03, 0x02, 0x00, 0x11, 0xB9, 0x8B};

Bytes ask(Win32Serial& lib, int port)
{
    std::uint8_t buf[16];
    if (lib.sio_write(port, read_17.data(), int(read_17.size())) != sio_ok ||
        lib.sio_wait_input(port, 1000) <= 0)
        return {};
    std::this_thread::sleep_for(50ms); // the rest of the answer
    return Bytes(buf, buf + std::max(lib.sio_read(port, buf, sizeof buf), 0));
}

} // namespace

TEST(Win32Serial, PortsAboveNineByNumberOrName)
{
    // The one name that reaches COM10 and above on Windows; Wine opens others too.
    const Win32Serial names;
    EXPECT_EQ(names.device_path(12), R"(\\.\COM12)");
    EXPECT_EQ(names.device_path(256), "");
    EXPECT_EQ(win32_device_path("com12"), R"(\\.\COM12)");
    EXPECT_EQ(win32_device_path(R"(\\.\com12)"), R"(\\.\COM12)");
    EXPECT_EQ(win32_device_path("COM1x"), "COM1x");
    Devsim dev(12);
    for (const char* name : {"", "COM12", R"(\\.\com12)"}) {
        Win32Serial lib, other;
        ASSERT_EQ(*name ? lib.sio_open_device(12, name) : lib.sio_open(12), sio_ok) << name;
        EXPECT_EQ(other.sio_open_device(1, "com12"), sio_port_busy) << name; // one lock for all
        EXPECT_EQ(ask(lib, 12), answer_17) << name;
    }
}

TEST(Win32Serial, SpeedTheDriverWouldMissIsRefusedAndTheOldOneKept)
{
    Devsim dev(9, {"--id", "17", "--baud", "19200"});
    Win32Serial lib;
    ASSERT_EQ(lib.sio_open(9), sio_ok);
    ASSERT_EQ(lib.sio_baud(9, 19200), sio_ok);
    EXPECT_EQ(lib.sio_baud(9, 12345), sio_bad_baud); // Wine would run at another speed
    EXPECT_EQ(ask(lib, 9), answer_17);
}
