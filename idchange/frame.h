// Request frame of an ID change and the CRC-16 of Modbus RTU.
// Pure functions: no I/O, no state beyond what they return.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>

namespace qrv {

// Results of crc16, under the names the window keeps them by.
struct CrcFields {
    std::int32_t crc_reg = 0; // the CRC as an unsigned 16-bit value, 0..65535
    std::int16_t crc_lo = 0;  // low byte, 0..255 (sent first)
    std::int16_t crc_hi = 0;  // high byte, 0..255
};

// CRC-16/MODBUS over cmdstring[0..j], both ends included; j = -1 covers no
// byte. A j at or beyond cmdstring's size is clamped to its last byte.
CrcFields crc16(std::span<const std::uint8_t> cmdstring, int j);

// The request and reply buffers of one change: 11 bytes, of which 0..7 are
// sent or filled; 8..10 stay zero and are never sent or examined.
constexpr int frame_len = 8;
using FrameBuf = std::array<std::uint8_t, 11>;

// Write single register (06) of register 10 = new_id to the device at old_id,
// with the CRC of bytes 0..5 in bytes 6 (low) and 7 (high).
FrameBuf build_request(std::uint8_t old_id, std::uint8_t new_id);

// Read of one holding register (03): register 10, the ID, of the device at id.
FrameBuf build_read_request(std::uint8_t id);

// What came back for a read of register 10.
struct ReadReply {
    enum class Kind {
        value,         // a normal reply from the device asked; value holds register 10
        exception,     // an exception reply from the device asked; code holds its code
        other_address, // a whole frame, but from the address in from
        bad_crc,       // a frame whose last two bytes are not its CRC
        garbled,       // a whole frame of no kind a read is answered with
        truncated,     // fewer bytes than the reply needs
        none,          // nothing at all
    } kind = Kind::none;
    std::uint16_t value = 0;
    std::uint8_t code = 0;
    std::uint8_t from = 0;
    bool late = false; // whole only after the answer window, before the line fell quiet
};

// The name of a kind in qrv-idctl's JSON: "value", ..., "no_reply" for none.
const char* to_string(ReadReply::Kind kind);

// The bytes that came after a read request to id, judged.
ReadReply parse_read_reply(std::span<const std::uint8_t> bytes, std::uint8_t id);

// How many bytes a reply to a read of one register takes, judging by what
// has come so far: 5 for an exception, 7 for a value.
std::size_t read_reply_len(std::span<const std::uint8_t> head);

// Writes the CRC of all bytes but the last two into those two, low byte
// first, as every Modbus RTU frame ends. The frame holds at least those two.
void put_frame_crc(std::span<std::uint8_t> frame);

// True when the last two bytes hold the CRC of the bytes before them; false
// for a frame too short to carry one.
bool frame_crc_ok(std::span<const std::uint8_t> frame);

// Upper-case hexadecimal without leading zero: 0 -> "0", 10 -> "A", 247 -> "F7".
std::string hex_byte(std::uint8_t value);

// Hex texts of the bytes joined by one blank, none before or after.
std::string hex_bytes(std::span<const std::uint8_t> bytes);

} // namespace qrv
