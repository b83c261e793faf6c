// CRC-16/MODBUS for judging the tool's frames: table-driven, where the tool
// shifts bit by bit, so a slip in either shows as a disagreement.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace qrv::test {

inline std::uint16_t reference_crc(const std::uint8_t* bytes, std::size_t count)
{
    static const auto table = [] {
        std::array<std::uint16_t, 256> t{};
        for (unsigned n = 0; n < 256; ++n) {
            unsigned v = n;
            for (int k = 0; k < 8; ++k)
                v = (v >> 1) ^ ((v & 1U) ? 0xA001U : 0U);
            t[n] = static_cast<std::uint16_t>(v);
        }
        return t;
    }();
    std::uint16_t crc = 0xFFFF;
    for (std::size_t i = 0; i < count; ++i)
        crc = static_cast<std::uint16_t>((crc >> 8) ^ table[(crc ^ bytes[i]) & 0xFF]);
    return crc;
}

} // namespace qrv::test
