// qrv-devsim, the virtual device the tool is tried against: libmodbus as an
// independent master shows it is real Modbus RTU; raw frames pin down the
// exact bytes of its answers and faults.

#include "frame.h"
#include "pty.h"
#include "reference_crc.h"

#include <gtest/gtest.h>
#include <modbus.h>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <functional>
#include <poll.h>
#include <regex>
#include <sys/wait.h>
#include <termios.h>
#include <thread>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;
using namespace std::chrono;
using namespace std::chrono_literals;
using qrv::test::Bytes;
using qrv::test::Devsim;
using qrv::test::TempDir;

// The device answers within a few ms, so this much quiet means no answer is
// coming.
constexpr milliseconds quiet = 200ms;

// Judged by the reference CRC, not by the code the device itself uses.
bool crc_matches(const Bytes& frame)
{
    if (frame.size() < 4)
        return false;
    const std::size_t n = frame.size();
    return qrv::test::reference_crc(frame.data(), n - 2) == (frame[n - 2] | frame[n - 1] << 8);
}

std::string hex(const Bytes& bytes)
{
    return "[" + qrv::hex_bytes(bytes) + "]";
}

// The line as the tool sees it: the link opened raw, without libmodbus.
class RawPort {
public:
    explicit RawPort(const std::string& path)
    {
        m_fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
        if (m_fd < 0)
            throw std::runtime_error("open " + path + ": " + std::strerror(errno));
        termios tio{};
        ::tcgetattr(m_fd, &tio);
        cfmakeraw(&tio);
        ::tcsetattr(m_fd, TCSANOW, &tio);
        ::tcflush(m_fd, TCIOFLUSH);
    }
    ~RawPort() { ::close(m_fd); }
    RawPort(const RawPort&) = delete;
    RawPort& operator=(const RawPort&) = delete;

    void send(const Bytes& bytes)
    {
        ASSERT_EQ(::write(m_fd, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
    }

    // Waits up to first_byte for an answer, then takes bytes until the line
    // has been quiet for 50 ms, so trailing extra bytes are caught too.
    Bytes receive(milliseconds first_byte = 1000ms)
    {
        Bytes got;
        milliseconds wait = first_byte;
        while (true) {
            pollfd p{m_fd, POLLIN, 0};
            if (::poll(&p, 1, static_cast<int>(wait.count())) <= 0)
                return got;
            std::uint8_t buf[512];
            const ssize_t n = ::read(m_fd, buf, sizeof buf);
            if (n <= 0)
                return got;
            got.insert(got.end(), buf, buf + n);
            wait = 50ms;
        }
    }

    Bytes exchange(const Bytes& request, milliseconds first_byte = 1000ms)
    {
        send(request);
        return receive(first_byte);
    }

private:
    int m_fd = -1;
};

// libmodbus as master.
class Master {
public:
    Master(const std::string& path, int slave)
    {
        m_ctx = modbus_new_rtu(path.c_str(), 115200, 'N', 8, 1);
        if (!m_ctx)
            throw std::runtime_error("modbus_new_rtu failed");
        modbus_set_slave(m_ctx, slave);
        modbus_set_response_timeout(m_ctx, 1, 0);
        if (modbus_connect(m_ctx) != 0) {
            modbus_free(m_ctx);
            throw std::runtime_error(std::string("modbus_connect: ") + modbus_strerror(errno));
        }
    }
    ~Master()
    {
        modbus_close(m_ctx);
        modbus_free(m_ctx);
    }
    Master(const Master&) = delete;
    Master& operator=(const Master&) = delete;
    modbus_t* get() const { return m_ctx; }

    // Register value, or -1 with errno set.
    int read(int reg)
    {
        std::uint16_t value = 0;
        return modbus_read_registers(m_ctx, reg, 1, &value) == 1 ? value : -1;
    }

private:
    modbus_t* m_ctx = nullptr;
};

bool wait_for_output(Devsim& dev, const std::string& text, milliseconds timeout = 1000ms)
{
    const auto end = steady_clock::now() + timeout;
    while (dev.output().find(text) == std::string::npos) {
        if (steady_clock::now() > end)
            return false;
        std::this_thread::sleep_for(5ms);
    }
    return true;
}

class DevsimTest : public ::testing::Test {
protected:
    TempDir m_dir;
    // One folder down, so the device has to create it.
    std::string m_link = m_dir.file("dev/ttyQRV0");
};

// --- libmodbus as master -------------------------------------------------

TEST_F(DevsimTest, LibmodbusReadsIdFromRegister10AndZerosElsewhere)
{
    Devsim dev(m_link);
    Master master(m_link, 17);
    EXPECT_EQ(master.read(10), 17);

    std::uint16_t regs[100];
    ASSERT_EQ(modbus_read_registers(master.get(), 0, 100, regs), 100) << modbus_strerror(errno);
    for (int r = 0; r < 100; ++r)
        EXPECT_EQ(regs[r], r == 10 ? 17 : 0) << "register " << r;
}

TEST_F(DevsimTest, LibmodbusWritesRegisterAndReadsItBack)
{
    Devsim dev(m_link, {"--id", "42"});
    Master master(m_link, 42);
    ASSERT_EQ(modbus_write_register(master.get(), 99, 0xBEEF), 1) << modbus_strerror(errno);
    std::uint16_t regs[3];
    ASSERT_EQ(modbus_read_registers(master.get(), 97, 3, regs), 3) << modbus_strerror(errno);
    EXPECT_EQ(regs[0], 0);
    EXPECT_EQ(regs[1], 0);
    EXPECT_EQ(regs[2], 0xBEEF);
    EXPECT_EQ(master.read(10), 42);
}

TEST_F(DevsimTest, IdChangeIsEchoedFromNewAddressAndTakesEffect)
{
    Devsim dev(m_link);
    Master master(m_link, 17);
    const std::uint8_t request[] = {0x11, 0x06, 0x00, 0x0A, 0x00, 0x01};
    ASSERT_GT(modbus_send_raw_request(master.get(), request, sizeof request), 0);
    // libmodbus drops an answer from an address it did not ask: follow the device.
    modbus_set_slave(master.get(), 1);
    std::uint8_t rsp[MODBUS_RTU_MAX_ADU_LENGTH];
    const int n = modbus_receive_confirmation(master.get(), rsp);
    ASSERT_EQ(n, 8) << modbus_strerror(errno);
    EXPECT_EQ(Bytes(rsp, rsp + n), (Bytes{0x01, 0x06, 0x00, 0x0A, 0x00, 0x01, 0x68, 0x08}));

    EXPECT_EQ(master.read(10), 1);
    modbus_set_slave(master.get(), 17);
    modbus_set_response_timeout(master.get(), 0, 300000);
    EXPECT_EQ(master.read(10), -1);
    EXPECT_EQ(errno, ETIMEDOUT);
    EXPECT_TRUE(wait_for_output(dev, "ID 1 (was 17)")) << dev.output();
}

TEST_F(DevsimTest, LibmodbusUnderstandsExceptionReplies)
{
    Devsim dev(m_link);
    Master master(m_link, 17);
    struct Case {
        const char* what;
        int reg;
        int value; // -1: read two registers from reg instead of writing
        int error;
    };
    const Case cases[] = {
        {"ID 0", 10, 0, EMBXILVAL},
        {"ID 248", 10, 248, EMBXILVAL},
        {"write past the registers", 100, 1, EMBXILADD},
        {"read past the registers", 99, -1, EMBXILADD},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::uint16_t regs[2];
        errno = 0;
        const int rc = c.value >= 0 ? modbus_write_register(master.get(), c.reg, c.value)
                                    : modbus_read_registers(master.get(), c.reg, 2, regs);
        EXPECT_EQ(rc, -1);
        EXPECT_EQ(errno, c.error) << modbus_strerror(errno);
    }
    EXPECT_EQ(master.read(10), 17) << "a refused ID must leave the ID alone";
}

// --- exact frames ----------------------------------------------------------

struct Step {
    Bytes request;
    Bytes reply; // empty: the device must stay silent
};

struct ProtocolCase {
    const char* name;
    std::vector<Step> steps;
};

void PrintTo(const ProtocolCase& c, std::ostream* os)
{
    *os << c.name;
}

const Bytes read_id_17 = {0x11, 0x03, 0x00, 0x0A, 0x00, 0x01, 0xA6, 0x98};
const Bytes id_is_17 = {0x11, 0x03, 0x02, 0x00, 0x11, 0xB9, 0x8B};

class DevsimProtocol : public DevsimTest, public ::testing::WithParamInterface<ProtocolCase> {};

TEST_P(DevsimProtocol, AnswersExactly)
{
    Devsim dev(m_link);
    RawPort port(m_link);
    for (std::size_t i = 0; i < GetParam().steps.size(); ++i) {
        const Step& s = GetParam().steps[i];
        SCOPED_TRACE("step " + std::to_string(i) + ": " + hex(s.request));
        const Bytes got = port.exchange(s.request, s.reply.empty() ? quiet : 1000ms);
        EXPECT_EQ(hex(got), hex(s.reply)) << dev.output();
    }
}

INSTANTIATE_TEST_SUITE_P(
    Frames, DevsimProtocol,
    ::testing::Values(
        ProtocolCase{"PlainWriteIsEchoedAndStored",
                     {{{0x11, 0x06, 0x00, 0x00, 0x12, 0x34, 0x86, 0x2D},
                       {0x11, 0x06, 0x00, 0x00, 0x12, 0x34, 0x86, 0x2D}},
                      {{0x11, 0x03, 0x00, 0x00, 0x00, 0x01, 0x86, 0x9A},
                       {0x11, 0x03, 0x02, 0x12, 0x34, 0x74, 0xF0}}}},
        ProtocolCase{"IdChangeAnswersFromNewAddressOnly",
                     {{{0x11, 0x06, 0x00, 0x0A, 0x00, 0x01, 0x6A, 0x98},
                       {0x01, 0x06, 0x00, 0x0A, 0x00, 0x01, 0x68, 0x08}},
                      {read_id_17, {}},
                      {{0x01, 0x03, 0x00, 0x0A, 0x00, 0x01, 0xA4, 0x08},
                       {0x01, 0x03, 0x02, 0x00, 0x01, 0x79, 0x84}}}},
        ProtocolCase{
            "BadCrcIsIgnored",
            {{{0x11, 0x03, 0x00, 0x0A, 0x00, 0x01, 0xA6, 0x99}, {}}, {read_id_17, id_is_17}}},
        ProtocolCase{
            "OtherAddressIsIgnored",
            {{{0x05, 0x03, 0x00, 0x0A, 0x00, 0x01, 0xA5, 0x8C}, {}}, {read_id_17, id_is_17}}},
        ProtocolCase{"ShortFrameIsIgnored", {{{0x11, 0x03, 0x00}, {}}, {read_id_17, id_is_17}}},
        ProtocolCase{"BroadcastIdChangeIsSilentButTakes",
                     {{{0x00, 0x06, 0x00, 0x0A, 0x00, 0x05, 0x68, 0x1A}, {}},
                      {{0x05, 0x03, 0x00, 0x0A, 0x00, 0x01, 0xA5, 0x8C},
                       {0x05, 0x03, 0x02, 0x00, 0x05, 0x89, 0x87}}}},
        ProtocolCase{
            "IdZeroIsIllegalValue",
            {{{0x11, 0x06, 0x00, 0x0A, 0x00, 0x00, 0xAB, 0x58}, {0x11, 0x86, 0x03, 0x03, 0xA4}},
             {read_id_17, id_is_17}}},
        ProtocolCase{
            "Id248IsIllegalValue",
            {{{0x11, 0x06, 0x00, 0x0A, 0x00, 0xF8, 0xAA, 0xDA}, {0x11, 0x86, 0x03, 0x03, 0xA4}},
             {read_id_17, id_is_17}}},
        ProtocolCase{"UnknownFunctionIsIllegalFunction",
                     {{{0x11, 0x07, 0x4C, 0x22}, {0x11, 0x87, 0x01, 0x83, 0xF5}}}},
        ProtocolCase{
            "WriteToRegister100IsIllegalAddress",
            {{{0x11, 0x06, 0x00, 0x64, 0x00, 0x01, 0x0B, 0x45}, {0x11, 0x86, 0x02, 0xC2, 0x64}}}},
        ProtocolCase{
            "ReadPastRegister99IsIllegalAddress",
            {{{0x11, 0x03, 0x00, 0x63, 0x00, 0x02, 0x36, 0x85}, {0x11, 0x83, 0x02, 0xC1, 0x34}}}},
        ProtocolCase{
            "ReadOfNoRegistersIsIllegalValue",
            {{{0x11, 0x03, 0x00, 0x00, 0x00, 0x00, 0x47, 0x5A}, {0x11, 0x83, 0x03, 0x00, 0xF4}}}},
        ProtocolCase{
            "ReadOf126RegistersIsIllegalValue",
            {{{0x11, 0x03, 0x00, 0x00, 0x00, 0x7E, 0xC7, 0x7A}, {0x11, 0x83, 0x03, 0x00, 0xF4}}}}),
    [](const auto& info) { return std::string(info.param.name); });

// --- fault options ---------------------------------------------------------

const Bytes change_to_1 = {0x11, 0x06, 0x00, 0x0A, 0x00, 0x01, 0x6A, 0x98};
const Bytes echo_from_1 = {0x01, 0x06, 0x00, 0x0A, 0x00, 0x01, 0x68, 0x08};

struct FaultCase {
    const char* name;
    std::vector<std::string> options;
    milliseconds wait;
    std::function<void(const Bytes&)> check;
};

void PrintTo(const FaultCase& c, std::ostream* os)
{
    *os << c.name;
}

class DevsimFault : public DevsimTest, public ::testing::WithParamInterface<FaultCase> {};

TEST_P(DevsimFault, ShowsInAnswerToIdChange)
{
    Devsim dev(m_link, GetParam().options);
    RawPort port(m_link);
    const Bytes got = port.exchange(change_to_1, GetParam().wait);
    SCOPED_TRACE("got " + hex(got) + "\n" + dev.output());
    GetParam().check(got);
}

INSTANTIATE_TEST_SUITE_P(
    Options, DevsimFault,
    ::testing::Values(
        FaultCase{"ReplyFromOld",
                  {"--reply-from-old"},
                  1000ms,
                  [](const Bytes& got) {
                      EXPECT_EQ(hex(got), hex({0x11, 0x06, 0x00, 0x0A, 0x00, 0x01, 0x6A, 0x98}));
                  }},
        FaultCase{
            "NoAnswer", {"--no-answer"}, 300ms, [](const Bytes& got) { EXPECT_TRUE(got.empty()); }},
        FaultCase{"BadCrc",
                  {"--bad-crc"},
                  1000ms,
                  [](const Bytes& got) {
                      ASSERT_EQ(got.size(), 8u);
                      EXPECT_TRUE(std::equal(got.begin(), got.begin() + 6, echo_from_1.begin()));
                      EXPECT_FALSE(crc_matches(got));
                  }},
        FaultCase{"Extra3",
                  {"--extra", "3"},
                  1000ms,
                  [](const Bytes& got) {
                      ASSERT_EQ(got.size(), 11u);
                      EXPECT_EQ(hex(Bytes(got.begin(), got.begin() + 8)), hex(echo_from_1));
                  }}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(DevsimTest, LateAnswerArrivesAfterTheDelay)
{
    Devsim dev(m_link, {"--late", "300"});
    RawPort port(m_link);
    const auto start = steady_clock::now();
    const Bytes got = port.exchange(change_to_1, 1500ms);
    const auto took = duration_cast<milliseconds>(steady_clock::now() - start);
    EXPECT_EQ(hex(got), hex(echo_from_1));
    EXPECT_GE(took, 250ms);
    EXPECT_LE(took, 1000ms);
}

// --- output and life cycle -------------------------------------------------

TEST_F(DevsimTest, LogsIdAndEveryFrameWithTimeStamp)
{
    Devsim dev(m_link);
    RawPort port(m_link);
    ASSERT_EQ(hex(port.exchange(change_to_1)), hex(echo_from_1));
    ASSERT_TRUE(wait_for_output(dev, "ID 1 (was 17)")) << dev.output();
    const std::string out = dev.output();
    const std::string pts = fs::read_symlink(m_link).string();
    EXPECT_NE(out.find("qrv-devsim: ID 17 on " + m_link + " -> " + pts + "\n"), std::string::npos)
        << out;
    const std::regex stamp_rx(R"(\d\d:\d\d:\d\d\.\d\d\d RX 11 6 0 A 0 1 6A 98\n)");
    const std::regex stamp_tx(R"(\d\d:\d\d:\d\d\.\d\d\d TX 1 6 0 A 0 1 68 8\n)");
    EXPECT_TRUE(std::regex_search(out, stamp_rx)) << out;
    EXPECT_TRUE(std::regex_search(out, stamp_tx)) << out;
}

// A tool opening and closing the line must not stop the device; SIGTERM
// ends it cleanly and takes its link away.
TEST_F(DevsimTest, SurvivesToolClosingTheLineAndStopsCleanly)
{
    Devsim dev(m_link);
    for (int i = 0; i < 3; ++i) {
        RawPort port(m_link);
        ASSERT_EQ(hex(port.exchange(read_id_17)), hex(id_is_17)) << "opening " << i;
    }
    const int status = dev.stop();
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << dev.output();
    EXPECT_FALSE(fs::exists(fs::symlink_status(m_link)));
}

} // namespace
