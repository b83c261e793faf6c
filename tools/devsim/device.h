// The register model and request handling of the simulated device, free of
// I/O so the line handling in main.cpp stays about timing only.
#pragma once

#include "frame.h"

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace qrv::devsim {

using Bytes = std::vector<std::uint8_t>;

constexpr std::size_t register_count = 100; // register 10, id_register, holds the ID
constexpr std::uint8_t broadcast_id = 0;

// Firmware faults a technician or a test can switch on to see how the tool copes.
struct Faults {
    // Answer an ID change from the address the request was sent to; the ID still changes.
    bool reply_from_old = false;
    // Answer an ID change from the new address but keep the old ID, as firmware
    // that never stores it.
    bool keep_id = false;
    // Refuse every ID change with this exception code (0: take it).
    std::uint8_t refuse = 0;
};

// What one received frame led to.
struct Outcome {
    std::optional<Bytes> reply;         // empty: the device stays silent
    std::string note;                   // why, for the log; empty for a plain answer
    std::optional<std::uint8_t> old_id; // set when the frame changed the ID
    bool taken = false;                 // the frame was for the device and it acted on it
};

class Device {
public:
    // identity: what it answers a read of its identification with; none:
    // an exception, as from a device that has no such function.
    Device(std::uint8_t id, Faults faults, std::optional<Identity> identity = std::nullopt);

    std::uint8_t id() const { return static_cast<std::uint8_t>(m_regs[id_register]); }
    Outcome handle(std::span<const std::uint8_t> frame);

private:
    Outcome write_single(std::uint8_t addr, std::span<const std::uint8_t> frame);
    Outcome read_holding(std::uint8_t addr, std::span<const std::uint8_t> frame);
    Outcome read_identification(std::uint8_t addr, std::span<const std::uint8_t> frame);

    Faults m_faults;
    std::optional<Identity> m_identity;
    std::array<std::uint16_t, register_count> m_regs{}; // [id_register] is the ID itself
};

// What one frame led to on a line of several devices, each named by its
// place in the order they were added.
struct BusOutcome {
    struct Answer {
        std::size_t device;
        Bytes bytes;
    };
    std::vector<Answer> answers; // in the devices' order
    // What the line carries when they all answer at once; empty: the line
    // stays silent.
    std::optional<Bytes> reply;
    bool collision = false; // reply is the garble of several answers
    std::string note;       // why, for the log; empty for a plain answer
    struct IdChange {
        std::size_t device;
        std::uint8_t from;
        std::uint8_t to;
    };
    std::vector<IdChange> id_changes;
    std::vector<std::size_t> took; // the devices that acted on the frame
};

// Devices sharing one pair of wires: each hears every frame the line carries,
// and those that answer talk over each other.
class Bus {
public:
    // baud 0: the device follows the line at any speed. It is connected
    // appear_ms after the line's start; before, it hears nothing.
    void add(Device device, unsigned baud, std::int64_t appear_ms = 0);
    // line_baud: the speed the line is set to as the frame arrives, 0 when it
    // is none of the tool's line speeds; now_ms: the time since the start.
    BusOutcome handle(std::span<const std::uint8_t> frame, unsigned line_baud,
                      std::int64_t now_ms = 0);
    // The device hears nothing until then, as firmware that restarts.
    void deafen(std::size_t device, std::int64_t until_ms);

private:
    struct Member {
        Device device;
        unsigned baud;
        std::int64_t appear_ms;
        std::int64_t deaf_until_ms = 0;
    };
    std::vector<Member> m_members;
};

// Appends the CRC (low byte first) to body.
Bytes with_crc(Bytes body);

// What the master hears of devices talking at once: the bits of all of
// them, a 1 winning on the wires, never a clean frame; one answer alone as
// it is.
Bytes garble(const std::vector<Bytes>& answers);

} // namespace qrv::devsim
