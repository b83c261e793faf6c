// Numbering new devices as they are connected, on the virtual device's
// model of a line whose devices are plugged in on the fake clock.
#include "assign.h"

#include "device_line.h"
#include "files.h"

#include <gtest/gtest.h>
#include <memory>

using namespace qrv;
using namespace qrv::test;

TEST(Assign, NumbersEachDeviceAsItIsConnected)
{
    using Setup = std::function<void(DeviceLine&)>;
    const Setup as_is = [](DeviceLine&) {};
    // Devices at 17 each connected for a time, from and until; those answering
    // at once garble their answers.
    const auto connected =
        [](std::vector<std::tuple<devsim::Faults, std::int64_t, std::int64_t>> times) {
            return [=](DeviceLine& l) {
                auto buses = std::make_shared<std::vector<devsim::Bus>>(times.size());
                for (std::size_t i = 0; i < times.size(); ++i)
                    (*buses)[i].add(devsim::Device(17, std::get<0>(times[i])), 0);
                l.serial.device = [&l, buses, times](const Bytes& frame) {
                    Bytes line;
                    int answers = 0;
                    for (std::size_t i = 0; i < times.size(); ++i) {
                        if (l.clock.now < std::get<1>(times[i]) ||
                            l.clock.now >= std::get<2>(times[i]))
                            continue;
                        const auto answer = (*buses)[i].handle(frame, 0).reply;
                        answers += answer.has_value();
                        line.resize(std::max(line.size(), answer.value_or(Bytes{}).size()));
                        for (std::size_t b = 0; answer && b < answer->size(); ++b)
                            line[b] |= (*answer)[b];
                    }
                    if (answers > 1)
                        line.back() ^= 0xFF;
                    return line;
                };
            };
        };
    const std::int64_t always = 1'000'000;
    const struct {
        std::vector<std::pair<std::uint8_t, std::int64_t>> devices; // ID, connected at
        devsim::Faults faults;
        Setup setup;
        bool keep_going;
        std::string devices_became, events; // events: all but the waits
        bool stopped, used_up;
        int failed;
    } rows[] = {
        // clang-format off
        // Three plugged in one after another; 21 is taken by a device already on the line.
        {{{21, 0}, {17, 0}, {17, 3000}, {17, 6000}}, {}, as_is, false,
         "20 confirmed, 22 confirmed, 23 confirmed", "changed 20, skipped 21, changed 22, changed 23", false, false, sio_ok},
        // Two at once talk over each other, or one answers behind the other: said once, nothing sent to them.
        {{{17, 0}, {17, 0}}, {}, as_is, false, "", "several 20", true, false, sio_ok},
        {{{17, 0}}, {}, [](DeviceLine& l) {
             l.serial.device = [bus = l.serial.device](const Bytes& f) { Bytes b = bus(f); b.insert(b.end(), b.begin(), b.end()); return b; };
         }, false, "", "several 20", true, false, sio_ok},
        {{}, {}, as_is, false, "", "", true, false, sio_ok}, // a stop while it waits
        // A device that keeps its old ID ends the run, unless told to go on:
        // then the next waits until it has been taken off.
        {{{17, 0}}, {false, true}, as_is, false, "20 unconfirmed", "changed 20", false, false, sio_ok},
        {{{17, 0}}, {false, true}, as_is, true, "20 unconfirmed", "changed 20, removal 21", true, false, sio_ok},
        // One that refused: another connected beside it, then it taken off; the other is numbered.
        {{}, {}, connected({{{false, false, 3}, 0, 5000}, {{}, 3000, always}}), true, "20 refused, 21 confirmed",
         "changed 20, removal 21, several 21, changed 21", true, false, sio_ok},
        // One pulled before its change and plugged back: heard again.
        {{}, {}, connected({{{}, 0, 10}, {{}, 3000, always}}), true, "20 no_reply, 21 confirmed",
         "changed 20, changed 21", true, false, sio_ok},
        // One slower than the asking is still heard.
        {{{17, 0}}, {}, [](DeviceLine& l) { l.serial.latency_ms = 1200; }, false, "20 moved", "changed 20", true, false, sio_ok},
        // A device that finds every ID of the list taken.
        {{{20, 0}, {21, 0}, {22, 0}, {23, 0}, {17, 0}}, {}, as_is, false, "", "skipped 20, skipped 21, skipped 22, skipped 23",
         false, true, sio_ok},
        {{}, {}, [](DeviceLine& l) { l.serial.gone = true; }, false, "", "", false, false, sio_port_gone},
        // clang-format on
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.events);
        DeviceLine line({});
        for (const auto& [id, at] : row.devices)
            line.bus.add(devsim::Device(id, row.faults), 0, at);
        row.setup(line);
        TempDir dir;
        Line port{line.serial, 9, line.clock, 115200, late_answer_ms};
        AssignPlan plan{17, {20, 21, 22, 23}, {}, row.keep_going};
        port.set_stop([&] { return line.clock.now >= 9000; });
        std::string events;
        const AssignResult result = assign(port, dir.path(), plan, [&](const AssignEvent& e) {
            static const char* const names[] = {"waiting", "several", "changing",
                                                "skipped", "changed", "removal"};
            if (e.kind != AssignEvent::Kind::waiting && e.kind != AssignEvent::Kind::changing)
                events += (events.empty() ? "" : ", ") + std::string(names[int(e.kind)]) + " " +
                          std::to_string(e.id);
        });
        std::string became;
        for (const AssignedDevice& d : result.devices)
            became += (became.empty() ? "" : ", ") + std::to_string(d.to) + " " +
                      to_string(d.change.outcome);
        EXPECT_EQ(became, row.devices_became);
        EXPECT_EQ(events, row.events);
        EXPECT_EQ(std::tuple(result.stopped, result.used_up, result.failed),
                  std::tuple(row.stopped, row.used_up, row.failed));
        // Only a change to a device alone at 17 is ever sent.
        const auto changes = std::ranges::count_if(
            line.serial.written, [](const Bytes& f) { return f[1] == fc_write_single_register; });
        EXPECT_EQ(changes, std::ssize(result.devices));
    }
}
