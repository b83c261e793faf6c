// Numbering new devices as they are connected, on the virtual device's
// model of a line whose devices are plugged in on the fake clock.
#include "assign.h"

#include "device_line.h"
#include "files.h"

#include <gtest/gtest.h>

using namespace qrv;
using namespace qrv::test;

TEST(Assign, NumbersEachDeviceAsItIsConnected)
{
    using Setup = std::function<void(DeviceLine&)>;
    const Setup as_is = [](DeviceLine&) {};
    const struct {
        std::vector<std::pair<std::uint8_t, std::int64_t>> devices; // ID, connected at
        devsim::Faults faults;
        Setup setup;
        bool keep_going;
        std::string devices_became, events; // events: all but the waits
        bool stopped;
        int failed;
    } rows[] = {
        // clang-format off
        // Three plugged in one after another; 21 is taken by a device already on the line.
        {{{21, 0}, {17, 0}, {17, 3000}, {17, 6000}}, {}, as_is, false,
         "20 confirmed, 22 confirmed, 23 confirmed", "changed 20, skipped 21, changed 22, changed 23", false, sio_ok},
        // Two at once talk over each other: said once, and nothing is sent to them.
        {{{17, 0}, {17, 0}}, {}, as_is, false, "", "several 20", true, sio_ok},
        {{}, {}, as_is, false, "", "", true, sio_ok}, // a stop while it waits
        // A device that keeps its old ID ends the run, unless told to go on:
        // then the next waits until it has been taken off.
        {{{17, 0}}, {false, true}, as_is, false, "20 unconfirmed", "changed 20", false, sio_ok},
        {{{17, 0}}, {false, true}, as_is, true, "20 unconfirmed", "changed 20, removal 21", true, sio_ok},
        {{}, {}, [](DeviceLine& l) { l.serial.gone = true; }, false, "", "", false, sio_port_gone},
        // clang-format on
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.events);
        DeviceLine line({});
        for (const auto& [id, at] : row.devices)
            line.bus.add(devsim::Device(id, row.faults), 0, at);
        row.setup(line);
        TempDir dir;
        OpenPort port{line.serial, 9, line.clock, 115200, line_guard_ms};
        AssignPlan plan{17, {20, 21, 22, 23}, {}, row.keep_going};
        plan.checks.stop = [&] { return line.clock.now >= 9000; };
        std::string events;
        const AssignResult result = assign(port, dir.path(), plan, [&](const AssignEvent& e) {
            static const char* const names[] = {"waiting", "several", "skipped", "changed",
                                                "removal"};
            if (e.kind != AssignEvent::Kind::waiting)
                events += (events.empty() ? "" : ", ") + std::string(names[int(e.kind)]) + " " +
                          std::to_string(e.id);
        });
        std::string became;
        for (const AssignedDevice& d : result.devices)
            became += (became.empty() ? "" : ", ") + std::to_string(d.to) + " " +
                      to_string(d.change.outcome);
        EXPECT_EQ(became, row.devices_became);
        EXPECT_EQ(events, row.events);
        EXPECT_EQ(std::tuple(result.stopped, result.failed), std::tuple(row.stopped, row.failed));
        // Only a change to a device alone at 17 is ever sent.
        const auto changes = std::ranges::count_if(
            line.serial.written, [](const Bytes& f) { return f[1] == fc_write_single_register; });
        EXPECT_EQ(changes, std::ssize(result.devices));
    }
}
