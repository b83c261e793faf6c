// The register model and request handling of the simulated device, free of
// I/O so the line handling in main.cpp stays about timing only.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace qrv::devsim {

using Bytes = std::vector<std::uint8_t>;

// Register 10 holds the device's own slave address.
constexpr std::uint16_t id_register = 10;
constexpr std::size_t register_count = 100;
constexpr std::uint8_t broadcast_id = 0;
constexpr std::uint8_t max_id = 247;

// What one received frame led to.
struct Outcome {
    std::optional<Bytes> reply;         // empty: the device stays silent
    std::string note;                   // why, for the log; empty for a plain answer
    std::optional<std::uint8_t> old_id; // set when the frame changed the ID
};

class Device {
public:
    // reply_from_old: answer an ID change from the address the request was
    // sent to, as some faulty firmware does, instead of the new one.
    Device(std::uint8_t id, bool reply_from_old);

    std::uint8_t id() const { return static_cast<std::uint8_t>(m_regs[id_register]); }
    Outcome handle(std::span<const std::uint8_t> frame);

private:
    Outcome write_single(std::uint8_t addr, std::span<const std::uint8_t> frame);
    Outcome read_holding(std::uint8_t addr, std::span<const std::uint8_t> frame);

    bool m_reply_from_old;
    std::array<std::uint16_t, register_count> m_regs{}; // [id_register] is the ID itself
};

// Appends the CRC (low byte first) to body.
Bytes with_crc(Bytes body);

} // namespace qrv::devsim
