// The line and the exchanges on it: every frame goes to the request it
// answers, whenever it comes, and no request goes out while bytes come.
#include "transaction.h"

#include "fakes.h"
#include "golden.h"

#include <gtest/gtest.h>

using namespace qrv;
using namespace qrv::test;

namespace {

// A read's reply as the table says it: its kind, late, stray bytes.
std::string as_told(const ReadReply& reply)
{
    return std::string(to_string(reply.kind)) + (reply.late ? " late" : "") +
           (reply.stray ? " stray " + std::to_string(reply.stray) : "");
}

} // namespace

TEST(Line, GivesEachFrameToTheRequestItAnswers)
{
    const Bytes value_17 = from_hex("11 03 02 00 11 B9 8B"),
                value_5 = from_hex("05 03 02 00 05 89 87");
    using Answer = std::function<void(FakeSerial&, const Bytes& frame)>;
    // Devices at 17 and 5 answering after ms; 17 with its answer's bytes replaced.
    const auto answers = [&](int ms_17, Bytes bytes_17 = {}) -> Answer {
        return [=](FakeSerial& s, const Bytes& f) {
            if (f[0] == 17)
                s.arrive(bytes_17.empty() ? value_17 : bytes_17, ms_17);
            if (f[0] == 5)
                s.arrive(value_5, 5);
        };
    };
    const struct {
        std::int32_t baud;
        Answer answer;
        std::size_t chunk;
        Bytes before;  // on the line before the first request
        Strings reads; // "17", "17p" a probe (its window only), "~300" the line listened to
        Strings said;  // each read's reply once the line has settled
    } rows[] = {
        // clang-format off
        {115200, answers(5), 3, {}, {"17"}, {"value"}}, // in pieces
        {115200, answers(5), 0, request_17_to_1, {"17"}, {"value"}}, // what came before is dropped
        {115200, answers(300), 0, {}, {"17"}, {"value late"}}, // listened for
        // A probe's late answer is its own, whenever it comes: never the next one's.
        {115200, answers(150), 0, {}, {"17p", "5p"}, {"value late", "value"}},
        {115200, answers(150), 0, {}, {"17p", "6p"}, {"value late", "no_reply"}},
        {115200, answers(203), 0, {}, {"17p", "6p", "7p"}, {"value late", "no_reply", "no_reply"}},
        // A stray byte after a reply is its own, and the next request waits for the line.
        {9600, answers(5, from_hex("11 03 02 00 11 B9 8B 00")), 0, {}, {"17p", "5p"}, {"value stray 1", "value"}},
        {9600, answers(5, from_hex("11 03 02 00 11 B9 8B 11 03 02 00 11 B9 8B")), 0, {}, {"17"}, {"value stray 7"}},
        // Bytes that frame nothing: what came instead in the window, else noise of no request's.
        {115200, answers(5, from_hex("11 03 02 00 11 B9 8C")), 0, {}, {"17"}, {"bad_crc"}},
        {115200, answers(150, from_hex("11 03 02")), 0, {}, {"17p", "~300", "5p"}, {"no_reply", "value"}},
        {115200, [](FakeSerial& s, const Bytes& f) { for (int ms = 0; f[0] == 5 && ms < 3000; ++ms) s.arrive({0xFF}, ms); },
         0, {}, {"5p", "17"}, {"bad_crc", "not_sent"}}, // a line that never falls quiet
        // clang-format on
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(::testing::PrintToString(row.reads) + " " + std::to_string(row.baud));
        FakeSerial serial;
        FakeClock clock;
        serial.clock = &clock;
        serial.open_ports[9] = row.baud;
        serial.chunk = row.chunk;
        serial.input = row.before;
        std::vector<std::int64_t> quiet_for; // at each request, since the last byte came
        serial.device = [&](const Bytes& frame) {
            if (serial.last_arrival >= 0)
                quiet_for.push_back(clock.now - serial.last_arrival);
            row.answer(serial, frame);
            return Bytes{};
        };
        Line line(serial, 9, clock, row.baud, late_answer_ms);
        std::vector<std::pair<std::uint8_t, Read>> reads;
        for (const std::string& r : row.reads) {
            if (r[0] == '~')
                line.listen(std::stoi(r.substr(1)));
            else
                reads.emplace_back(std::stoi(r),
                                   read_register(line, std::stoi(r), 101, r.back() != 'p'));
        }
        line.settle();
        Strings got;
        for (const auto& [id, read] : reads)
            got.push_back(
                as_told(read.request < 0 ? read.reply : read_reply(line.heard(read.request), id)));
        EXPECT_EQ(got, row.said);
        for (const std::int64_t quiet : quiet_for)
            EXPECT_GT(quiet, quiet_gap_ms(row.baud)); // the gap, in whole milliseconds
    }
}

// The Modbus gap at each speed, rounded up: 3.5 characters of 11 bits.
TEST(Line, WaitsTheGapOfItsSpeed)
{
    const std::pair<std::int32_t, int> rows[] = {
        {9600, 5}, {19200, 3}, {38400, 2}, {115200, 2}, {0, 0}};
    for (const auto& [baud, ms] : rows)
        EXPECT_EQ(quiet_gap_ms(baud), ms) << baud;
}
