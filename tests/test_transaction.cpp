// The exchanges on the line: a read takes its own answer and no other.
#include "transaction.h"

#include "fakes.h"
#include "golden.h"

#include <gtest/gtest.h>

using namespace qrv;
using namespace qrv::test;

// A read takes its answer whole however the line hands it over, late ones
// too while the line is guarded, and never an answer to another request.
TEST(Read, TakesItsOwnAnswerWhole)
{
    using K = ReadReply::Kind;
    const struct {
        int latency;
        std::size_t chunk;
        bool probe;
        K kind;
        bool late;
    } rows[] = {
        {5, 0, false, K::value, false},  {5, 3, false, K::value, false}, // in pieces
        {300, 0, false, K::value, true}, {300, 0, true, K::none, false}, // a scan's probe
        {300, 2, true, K::none, false},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(std::to_string(row.latency) + " " + std::to_string(row.chunk));
        FakeSerial serial;
        FakeClock clock;
        serial.clock = &clock;
        serial.open_ports[9] = 115200;
        serial.latency_ms = row.latency;
        serial.chunk = row.chunk;
        serial.device = [](const Bytes& f) {
            return f[0] == 17 ? from_hex("11 03 02 00 11 B9 8B") : Bytes{};
        };
        serial.input = request_17_to_1; // left from before: dropped
        OpenPort port{serial, 9, clock, 115200, line_guard_ms};
        const ReadReply read = exchange_read(port, 17, 101, row.probe);
        EXPECT_EQ(std::tuple(read.kind, read.late), std::tuple(row.kind, row.late));
        EXPECT_EQ(read.value, row.kind == K::value ? 17 : 0);
        // What came late is dropped before the next request goes out.
        EXPECT_EQ(exchange_read(port, 5, 101).kind, K::none);
    }
}
