// The virtual device: its answers in-process on the pure device, then the
// program itself on a pseudo-terminal, with libmodbus as an independent master.
#include "device.h"
#include "frame.h"
#include "golden.h"
#include "pty.h"

#include <cerrno>
#include <filesystem>
#include <gtest/gtest.h>
#include <modbus.h>
#include <regex>

namespace {

using namespace std::chrono;
using namespace qrv::test;

TEST(Bus, AnswersAsALine)
{
    // Devices (ID, speed or 0 for any), then per step the line's speed (0:
    // unknown), the request and the answer, none for silence. Only answers of
    // several devices at once fail their CRC.
    struct Step {
        unsigned line_baud;
        std::string request, answer;
    };
    const struct {
        std::vector<std::pair<std::uint8_t, unsigned>> devices;
        qrv::devsim::Faults faults;
        std::vector<Step> steps;
    } rows[] = {
        // clang-format off
        {{{17, 0}}, {}, {{0, "11 06 00 00 12 34 86 2D", "11 06 00 00 12 34 86 2D"},  // stored
                         {0, "11 03 00 00 00 01 86 9A", "11 03 02 12 34 74 F0"}}},
        {{{17, 0}}, {}, {{0, "11 06 00 0A 00 01 6A 98", "01 06 00 0A 00 01 68 08"},  // the new ID answers
                         {0, "11 03 00 0A 00 01 A6 98", ""}, {0, "01 03 00 0A 00 01 A4 08", "01 03 02 00 01 79 84"}}},
        {{{17, 0}}, {}, {{0, "11 03 00 0A 00 01 A6 99", ""}, {0, "05 03 00 0A 00 01 A5 8C", ""},
                         {0, "11 03 00", ""}, {0, "11 06 00 0A 00 00 AB 58", "11 86 03 03 A4"},
                         {0, "11 06 00 0A 00 F8 AA DA", "11 86 03 03 A4"}, // bad CRC, other ID, short, ID 0, 248
                         {0, "11 03 00 0A 00 01 A6 98", "11 03 02 00 11 B9 8B"}}},
        {{{17, 0}}, {}, {{0, "00 06 00 0A 00 05 68 1A", ""},  // a broadcast is not answered but takes
                         {0, "05 03 00 0A 00 01 A5 8C", "05 03 02 00 05 89 87"}}},
        {{{17, 0}}, {}, {{0, "11 07 4C 22", "11 87 01 83 F5"}, {0, "11 06 00 64 00 01 0B 45", "11 86 02 C2 64"},
                         {0, "11 03 00 63 00 02 36 85", "11 83 02 C1 34"},
                         {0, "11 03 00 00 00 00 47 5A", "11 83 03 00 F4"},
                         {0, "11 03 00 00 00 7E C7 7A", "11 83 03 00 F4"}}},
        {{{5, 0}, {7, 0}}, {}, {  // each answers for itself, a change moves one
            {9600, "07 06 00 0A 00 01 68 6E", "01 06 00 0A 00 01 68 08"},
            {9600, "07 03 00 0A 00 01 A4 6E", ""},
            {9600, "01 03 00 0A 00 01 A4 08", "01 03 02 00 01 79 84"},
            {9600, "05 03 00 0A 00 01 A5 8C", "05 03 02 00 05 89 87"},
            {9600, "00 06 00 0A 00 05 68 1A", ""},  // both go to 5: equal answers clash
            {9600, "05 03 00 0A 00 01 A5 8C", "05 03 02 00 05 89 78"}}},
        {{{17, 9600}}, {}, {  // deaf at other speeds, even to a change
            {19200, "11 06 00 0A 00 01 6A 98", ""}, {0, "11 03 00 0A 00 01 A6 98", ""},
            {9600, "11 03 00 0A 00 01 A6 98", "11 03 02 00 11 B9 8B"}}},
        // clang-format on
    };
    for (const auto& row : rows) {
        qrv::devsim::Bus bus;
        for (const auto& [id, baud] : row.devices)
            bus.add(qrv::devsim::Device(id, row.faults), baud);
        for (const auto& [line_baud, request, answer] : row.steps) {
            const auto out = bus.handle(from_hex(request), line_baud);
            EXPECT_EQ(out.reply.value_or(Bytes{}), from_hex(answer)) << request;
            if (out.reply) {
                EXPECT_EQ(qrv::frame_crc_ok(*out.reply), !out.collision) << request;
            }
        }
    }
}

// libmodbus as an independent master: the change of ID with its answer from
// the new address, then a read there from a second opening of the line.
// (The fault options are played by the command-line tests.)
TEST(DevsimProgram, ModbusPeerChangesTheIdAndReadsItBack)
{
    TempDir dir;
    const std::string link = dir.file("COM9");
    Devsim dev(link);
    const std::string pts = std::filesystem::read_symlink(link).string();
    for (int opening = 0; opening < 2; ++opening) {
        modbus_t* ctx = modbus_new_rtu(link.c_str(), 115200, 'N', 8, 1);
        ASSERT_EQ(modbus_connect(ctx), 0) << modbus_strerror(errno);
        modbus_set_slave(ctx, 1); // libmodbus takes an answer only from the address it expects
        std::uint8_t rsp[MODBUS_RTU_MAX_ADU_LENGTH];
        std::uint16_t id = 0;
        if (opening == 0) {
            const std::uint8_t request[] = {0x11, 0x06, 0x00, 0x0A, 0x00, 0x01};
            ASSERT_GT(modbus_send_raw_request(ctx, request, sizeof request), 0);
            EXPECT_EQ(modbus_receive_confirmation(ctx, rsp), 8) << modbus_strerror(errno);
        }
        EXPECT_EQ(modbus_read_registers(ctx, 10, 1, &id), 1) << modbus_strerror(errno);
        EXPECT_EQ(id, 1);
        modbus_close(ctx);
        modbus_free(ctx);
    }
    const int status = dev.stop();
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    EXPECT_FALSE(std::filesystem::exists(std::filesystem::symlink_status(link)));
    const std::string out = dev.output();
    EXPECT_NE(out.find("qrv-devsim: ID 17 on " + link + " -> " + pts + "\n"), std::string::npos);
    EXPECT_TRUE(
        std::regex_search(out, std::regex(R"(\d\d:\d\d:\d\d\.\d{3} TX 1 6 0 A 0 1 68 8\n)")));
    for (const char* bad : {"--id 0", "--id 248", "--late -1", "--extra 256", "--bogus",
                            "--id 5 --baud 1234", "--baud 9600 --id 5", "--id 5 --identity A,B",
                            "--identity A,B,C --id 5", "--id 5 --appear -1", "--refuse 12"}) {
        const std::string command = std::string(QRV_DEVSIM_PATH) + " --link " + dir.file("x") +
                                    " " + bad + " >/dev/null 2>&1";
        EXPECT_EQ(WEXITSTATUS(std::system(command.c_str())), 2) << bad;
    }
}

// The faults as an independent master meets them: what a read of register
// 10 (or, with a value, a write of it) at a speed gives.
TEST(DevsimProgram, FaultsAsAModbusMasterMeetsThem)
{
    const struct {
        std::vector<std::string> options;
        int baud;
        int write;  // -1: read
        int result; // the value read or written, or the errno of libmodbus
    } rows[] = {
        {{"--extra", "1"}, 115200, -1, 17}, // after the answer, not before it
        {{"--no-answer"}, 115200, -1, ETIMEDOUT},
        {{"--id", "17", "--baud", "9600"}, 115200, -1, ETIMEDOUT},
        {{"--id", "17", "--baud", "9600"}, 9600, -1, 17},
        {{"--refuse", "4"}, 115200, 1, EMBXSFAIL},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.options[0]);
        TempDir dir;
        Devsim dev(dir.file("COM9"), row.options);
        modbus_t* ctx = modbus_new_rtu(dir.file("COM9").c_str(), row.baud, 'N', 8, 1);
        ASSERT_EQ(modbus_connect(ctx), 0) << modbus_strerror(errno);
        modbus_set_slave(ctx, 17);
        modbus_set_response_timeout(ctx, 0, 300'000);
        std::uint16_t value = 0;
        const int done = row.write < 0 ? modbus_read_registers(ctx, 10, 1, &value)
                                       : modbus_write_register(ctx, 10, row.write);
        EXPECT_EQ(done == 1 ? (row.write < 0 ? value : row.write) : errno, row.result)
            << modbus_strerror(errno);
        modbus_close(ctx);
        modbus_free(ctx);
    }
}

} // namespace
