// The virtual device's model on the fake line: devices that answer each
// frame on the fake clock, as a line of them would.
#pragma once

#include "device.h"
#include "fakes.h"

namespace qrv::test {

struct DeviceLine {
    explicit DeviceLine(std::vector<std::uint8_t> ids, devsim::Faults faults = {})
    {
        for (const std::uint8_t id : ids)
            bus.add(devsim::Device(id, faults), 0);
        serial.clock = &clock;
        serial.open_ports[9] = 115200;
        serial.device = [this](const Bytes& frame) {
            const auto answer = bus.handle(frame, 0, clock.now).reply;
            return answer && !(frame[0] == held_id && clock.now < held_until) ? *answer : Bytes{};
        };
    }

    FakeSerial serial;
    FakeClock clock;
    devsim::Bus bus;
    int held_id = 0;             // an address the device does not answer at yet,
    std::int64_t held_until = 0; // as firmware that stores its new ID first
};

} // namespace qrv::test
