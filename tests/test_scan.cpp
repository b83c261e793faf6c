// The scan on the virtual device's model on the fake line: what answers at
// each address and speed, taken for a device only when it is one.
#include "scan.h"

#include "device_line.h"

#include <functional>
#include <gtest/gtest.h>

using namespace qrv;
using namespace qrv::test;

namespace {

// A plan for the table: built here, where GCC 12 sees every member set.
ScanPlan plan(std::vector<std::int32_t> bauds, std::uint8_t first, std::uint8_t last,
              int timeout_ms = 0, bool stop_at_first = false, bool identify = false)
{
    return {std::move(bauds), first, last, timeout_ms, stop_at_first, identify};
}

} // namespace

TEST(Scan, EveryAddressAtEverySpeedAsked)
{
    using Setup = std::function<void(DeviceLine&)>;
    const Setup as_is = [](DeviceLine&) {};
    const struct {
        std::vector<std::uint8_t> ids;
        Setup setup;
        ScanPlan plan;
        Strings hits; // "address speed kind", a device marked *
        std::size_t done, total;
        std::vector<std::int32_t> refused;
    } rows[] = {
        // clang-format off
        {{5}, as_is, plan({9600}, 5, 5), {"5 9600 value*"}, 1, 1, {}},
        // Two devices at one address garble their answers: no device.
        {{3, 3, 5}, as_is, plan({9600}, 1, 9, 0, true), {"3 9600 bad_crc", "5 9600 value*"}, 5, 9, {}},
        // A probe waits its window only; a late answer is its own, the last one's too.
        {{7}, [](DeviceLine& l) { l.serial.latency_ms = 80; }, plan({9600}, 6, 9, 50), {"7 9600 value* late"}, 4, 4, {}},
        {{17}, [](DeviceLine& l) { l.serial.latency_ms = 150; }, plan({9600}, 15, 17), {"17 9600 value* late"}, 3, 3, {}},
        {{17}, [](DeviceLine& l) { l.serial.latency_ms = 30; }, plan({9600}, 17, 17, 20), {"17 9600 value* late"}, 1, 1, {}},
        // Noise shorter than an answer is no hit.
        {{5}, [](DeviceLine& l) {
             l.serial.device = [&l, bus = l.serial.device](const Bytes& f) {
                 if (f[0] == 4)
                     l.serial.arrive({0xAB, 0xCD, 0xEF}, 20);
                 return bus(f);
             };
         }, plan({9600}, 4, 5), {"5 9600 value*"}, 2, 2, {}},
        // A stray byte after a reply, or an identification longer than it says, is no next probe's.
        {{7, 8}, [](DeviceLine& l) {
             l.serial.device = [bus = l.serial.device](const Bytes& f) { Bytes b = bus(f); if (!b.empty()) b.push_back(0); return b; };
         }, plan({9600}, 7, 9), {"7 9600 value* stray 1", "8 9600 value* stray 1"}, 3, 3, {}},
        {{5}, [](DeviceLine& l) { l.serial.refused_bauds = {230400}; }, plan({230400, 9600}, 5, 5), {"5 9600 value*"}, 1, 1, {230400}},
        {{5}, as_is, plan({9600}, 9, 5), {}, 0, 0, {}}, // a reversed range holds no address
        // Each device's identification, when asked for: none is an exception.
        {{5}, [](DeviceLine& l) { l.bus.add(devsim::Device(6, {}, Identity{"ACME", "QRV-100", "1.2"}), 0); },
         plan({9600}, 4, 6, 0, false, true), {"5 9600 value* exception", "6 9600 value* ACME|QRV-100|1.2"}, 3, 3, {}},
        {{}, [](DeviceLine& l) {
             for (std::uint8_t id : {5, 6})
                 l.bus.add(devsim::Device(id, {}, Identity{"ACME", "QRV-100", "1.2"}), 0);
             l.serial.device = [bus = l.serial.device](const Bytes& f) {
                 Bytes b = bus(f);
                 if (f[1] == fc_encapsulated_interface)
                     b.insert(b.end(), {0x11, 0x22}); // longer than it says
                 return b;
             };
         }, plan({9600}, 5, 6, 0, false, true), {"5 9600 value* ACME|QRV-100|1.2", "6 9600 value* ACME|QRV-100|1.2"}, 2, 2, {}},
        // clang-format on
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.hits.empty() ? "none" : row.hits.front());
        DeviceLine line(row.ids);
        row.setup(line);
        Line port{line.serial, 9, line.clock, 9600, late_answer_ms};
        const ScanResult result = scan(port, row.plan, [](const ScanProgress&) { return true; });
        Strings hits;
        for (const ScanHit& hit : result.hits)
            hits.push_back(std::to_string(hit.id) + " " + std::to_string(hit.baud) + " " +
                           to_string(hit.reply.kind) + (hit.device() ? "*" : "") +
                           (hit.reply.late ? " late" : "") +
                           (hit.reply.stray ? " stray " + std::to_string(hit.reply.stray) : "") +
                           (!hit.identity ? ""
                            : hit.identity->kind != ReadReply::Kind::value
                                ? std::string(" ") + to_string(hit.identity->kind)
                                : " " + hit.identity->identity.vendor + "|" +
                                      hit.identity->identity.product + "|" +
                                      hit.identity->identity.revision));
        EXPECT_EQ(hits, row.hits);
        EXPECT_EQ(std::tuple(result.done, result.total, result.refused),
                  std::tuple(row.done, row.total, row.refused));
    }
}

// 9600, the factory default of most devices, and 115200, the window's, then
// the others in the window's order; the scan asks before each probe.
TEST(Scan, CommonSpeedsFirstAndAStopEndsIt)
{
    DeviceLine line({});
    Line port{line.serial, 9, line.clock, 9600, late_answer_ms};
    std::vector<std::int32_t> asked;
    const ScanResult result = scan(port, plan(scan_speeds(), 1, 1), [&](const ScanProgress& p) {
        asked.push_back(p.baud);
        return p.done < 4;
    });
    std::vector<std::int32_t> order{9600, 115200};
    for (const std::int32_t baud : line_speeds)
        if (baud != 9600 && baud != 115200)
            order.push_back(baud);
    order.resize(5);
    EXPECT_EQ(asked, order);
    EXPECT_TRUE(result.stopped);
    EXPECT_EQ(result.done, 4U);
}
