// The virtual device: its answers in-process on the pure device, then the
// program itself on a pseudo-terminal, with libmodbus as an independent master.
#include "device.h"
#include "frame.h"
#include "golden.h"
#include "pty.h"

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <gtest/gtest.h>
#include <modbus.h>
#include <regex>
#include <sstream>

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
}

// The options refused, each with its message.
TEST(DevsimProgram, RefusesBadOptionsSayingWhatTheyNeed)
{
    const struct {
        const char* args;
        const char* said;
    } rows[] = {
        // clang-format off
        {"--id 0", "--id needs a number 1..247"}, {"--id 248", "--id needs a number 1..247"},
        {"--late -1", "--late needs milliseconds 0..60000"}, {"--extra 256", "--extra needs a number 0..255"},
        {"--bogus", "unknown option: --bogus"}, {"lone", "unknown option: lone"},
        {"--id 5 --baud 1234", "--baud needs 9600, 19200, 38400, 57600, 115200 or 230400"},
        {"--baud 9600 --id 5", "--baud must follow an --id"},
        {"--id 5 --identity A,B", "--identity needs VENDOR,PRODUCT,REVISION, each up to 64 characters"},
        {"--identity A,B,C --id 5", "--identity must follow an --id"},
        {"--id 5 --appear -1", "--appear needs milliseconds 0..3600000"},
        {"--refuse 12", "--refuse needs an exception code 1..11"}, {"--echo=on", "--echo takes no value"},
        {"--slow 5 --id 5", "--slow must follow an --id"}, {"--id 5 --slow 90-30", "--slow needs milliseconds 0..60000"},
        {"--restart 100-", "--restart needs milliseconds 0..60000"},
        {"--late 100@1.5", "--late needs a probability 0..1 after @"},
        {"--extra 1@", "--extra needs a probability 0..1 after @"},
        {"--bad-crc@x", "--bad-crc needs a probability 0..1 after @"}, {"--echo@0.5", "unknown option: --echo@0.5"},
        {"--no-answer=1", "--no-answer takes no value"}, {"--wire=1", "--wire takes no value"},
        {"--noise 0", "--noise needs milliseconds 1..3600000"},
        {"--seed 4294967296", "--seed needs a number 0..4294967295"}, {"--log", "--log needs a file name"},
        // clang-format on
    };
    TempDir dir;
    for (const auto& row : rows) {
        const std::string command = std::string(QRV_DEVSIM_PATH) + " --link " + dir.file("x") +
                                    " " + row.args + " >/dev/null 2>" + dir.file("err");
        EXPECT_EQ(WEXITSTATUS(std::system(command.c_str())), 2) << row.args;
        EXPECT_EQ(read_file(dir.file("err")),
                  std::string("qrv-devsim: ") + row.said + "\nTry 'qrv-devsim --help'.\n");
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

// The tool's side of the line, opened and set as a serial port at baud.
class ToolSide {
public:
    ToolSide(const std::string& link, unsigned baud)
        : m_fd(::open(link.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK))
    {
        termios tio{};
        ::tcgetattr(m_fd, &tio);
        cfmakeraw(&tio);
        cfsetspeed(&tio, baud); // glibc takes bits per second as well as its codes
        ::tcsetattr(m_fd, TCSANOW, &tio);
    }
    ~ToolSide() { ::close(m_fd); }
    void send(const std::string& hex)
    {
        const Bytes bytes = from_hex(hex);
        ASSERT_EQ(::write(m_fd, bytes.data(), bytes.size()), ssize_t(bytes.size()));
    }
    // What comes until the line has been quiet for quiet; last: when the
    // last byte came.
    Bytes take(milliseconds quiet, steady_clock::time_point& last)
    {
        Bytes got;
        for (pollfd p{m_fd, POLLIN, 0}; ::poll(&p, 1, int(quiet.count())) > 0;) {
            std::uint8_t buf[256];
            const ssize_t n = ::read(m_fd, buf, sizeof buf);
            got.insert(got.end(), buf, buf + std::max<ssize_t>(n, 0));
            last = steady_clock::now();
        }
        return got;
    }

private:
    int m_fd;
};

// With --wire an answer takes its time on the wire at the line's speed,
// after the request's own and a gap; a request that comes in pieces is
// whole, one that comes while the line talks is lost. Bounds are the least
// time from the first byte sent to the last byte of the answer.
TEST(DevsimProgram, PacesItsAnswersAtTheLinesSpeed)
{
    const std::string read_17 = "11 03 00 0A 00 01 A6 98", read_100 = "11 03 00 00 00 64 46 B1";
    const struct {
        std::vector<std::string> options;
        unsigned baud;
        std::vector<std::pair<int, std::string>> sent; // ms after the last, bytes
        std::size_t answered;
        int least_ms;
        std::string printed; // what the device says of the last request
    } rows[] = {
        // clang-format off
        {{"--wire"}, 9600, {{0, read_17}}, 7, 19, ""},     // 8 + 4 + 7 bytes of 1.04 ms
        {{"--wire"}, 9600, {{0, read_100}}, 205, 220, ""}, // 8 + 4 + 205 bytes
        {{"--wire"}, 115200, {{0, read_100}}, 205, 20, ""}, // a 5 ms gap + 205 of 0.087 ms
        {{}, 9600, {{0, "11 03 00 0A"}, {20, "00 01 A6 98"}}, 7, 20, "RX 11 3 0 A 0 1 A6 98\n"},
        {{"--wire"}, 9600, {{0, read_100}, {50, read_17}}, 205, 220,
         "RX 11 3 0 A 0 1 A6 98  (ignored: heard while the line carried other bytes)\n"},
        // clang-format on
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.sent.back().second);
        TempDir dir;
        Devsim dev(dir.file("COM9"), row.options);
        ToolSide tool(dir.file("COM9"), row.baud);
        const auto start = steady_clock::now();
        for (const auto& [after_ms, bytes] : row.sent) {
            std::this_thread::sleep_for(milliseconds(after_ms));
            tool.send(bytes);
        }
        auto last = start;
        EXPECT_EQ(tool.take(400ms, last).size(), row.answered);
        EXPECT_GE(last - start, milliseconds(row.least_ms));
        EXPECT_NE(dev.output().find(row.printed), std::string::npos) << dev.output();
    }
}

// The log of events, its times left out: a change, a restart, devices
// that answer over each other and one later, the faults of an answer, noise.
TEST(DevsimProgram, LogsWhatItHeardAndDid)
{
    const std::string change = "11 06 00 0A 00 01 6A 98";
    const std::string start = "start\t-\t-\t1\tseed=1 wire=off ids=17";
    const struct {
        std::vector<std::string> options, sent;
        std::vector<std::string> logged;
    } rows[] = {
        // clang-format off
        {{}, {change}, {start, "rx\t1\t11 6 0 A 0 1 6A 98\t1\t-", "change\t1\t-\t1\tfrom=17 to=1",
                        "tx\t1\t1 6 0 A 0 1 68 8\t1\t-"}},
        {{"--restart", "500"}, {change, "01 03 00 0A 00 01 A4 08"},
         {start, "rx\t1\t11 6 0 A 0 1 6A 98\t1\t-", "change\t1\t-\t1\tfrom=17 to=1",
          "tx\t1\t1 6 0 A 0 1 68 8\t1\t-", "rx\t2\t1 3 0 A 0 1 A4 8\t-\tID 1 silent: restarting"}},
        {{"--id", "7", "--id", "7", "--id", "7", "--slow", "100"}, {"07 03 00 0A 00 01 A4 6E"},
         {"start\t-\t-\t1,2,3\tseed=1 wire=off ids=7,7,7",
          "rx\t1\t7 3 0 A 0 1 A4 6E\t1,2,3\tcollision: 3 devices answered at once",
          "tx\t1\t7 3 2 0 7 71 79\t1,2\tcollision", "tx\t1\t7 3 2 0 7 71 86\t3\tslow=100"}},
        {{"--extra", "1", "--late", "30", "--bad-crc", "--seed", "9"}, {"11 03 00 0A 00 01 A6 98"},
         {"start\t-\t-\t1\tseed=9 wire=off ids=17", "rx\t1\t11 3 0 A 0 1 A6 98\t1\t-",
          "tx\t1\t11 3 2 0 11 B9 74 0\t1\tcrc extra=1 late=30"}},
        {{"--noise", "50", "--seed", "4"}, {}, {"start\t-\t-\t1\tseed=4 wire=off ids=17", "noise\t-\t2C F9\t-\t-"}},
        // clang-format on
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.logged.back());
        TempDir dir;
        std::vector<std::string> options = {"--log", dir.file("log")};
        options.insert(options.end(), row.options.begin(), row.options.end());
        Devsim dev(dir.file("COM9"), options);
        ToolSide tool(dir.file("COM9"), 115200);
        auto last = steady_clock::now();
        for (const std::string& request : row.sent) {
            tool.send(request);
            tool.take(300ms, last);
        }
        for (int i = 0; i < 200 && std::ranges::count(read_file(dir.file("log")), '\n') <
                                       long(row.logged.size());
             ++i)
            std::this_thread::sleep_for(10ms);
        std::istringstream log(read_file(dir.file("log")));
        std::vector<std::string> logged;
        for (std::string line; logged.size() < row.logged.size() && std::getline(log, line);)
            logged.push_back(line.substr(line.find('\t') + 1));
        EXPECT_EQ(logged, row.logged);
    }
}

} // namespace
