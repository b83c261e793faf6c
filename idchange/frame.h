// The frames of Modbus RTU the tool sends and reads, and their CRC-16.
// Pure functions: no I/O, no state beyond what they return.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>

namespace qrv {

// Modbus RTU as the tool speaks it: its two functions, the flag that marks
// an answer as an exception, the exception codes the tool names, and the
// holding register that holds a device's ID.
inline constexpr std::uint8_t fc_read_holding_registers = 0x03;
inline constexpr std::uint8_t fc_write_single_register = 0x06;
inline constexpr std::uint8_t exception_flag = 0x80;
inline constexpr std::uint8_t exc_illegal_function = 0x01;
inline constexpr std::uint8_t exc_illegal_data_address = 0x02;
inline constexpr std::uint8_t exc_illegal_data_value = 0x03;
inline constexpr std::uint8_t exc_acknowledge = 0x05; // taken, still at work on it
inline constexpr std::uint8_t exc_server_busy = 0x06;
inline constexpr std::uint8_t exc_last = 0x0B; // the highest code Modbus defines
inline constexpr std::uint16_t id_register = 10;
// Read device identification: function 43 with MEI type 14, its basic
// objects (vendor name, product code, revision) asked from the first.
inline constexpr std::uint8_t fc_encapsulated_interface = 0x2B;
inline constexpr std::uint8_t mei_read_device_id = 0x0E;
inline constexpr std::uint8_t device_id_basic = 0x01;
// The longest frame Modbus RTU allows, and the length of an exception
// reply: address, function with the flag, code, CRC.
inline constexpr std::size_t max_frame_len = 256;
inline constexpr std::size_t exception_reply_len = 5;

// CRC-16/MODBUS of the bytes; sent low byte first.
std::uint16_t crc16(std::span<const std::uint8_t> bytes);

// A request of the tool: 8 bytes, its CRC in the last two.
inline constexpr std::size_t frame_len = 8;
using Frame = std::array<std::uint8_t, frame_len>;

// Write single register of register 10 = new_id to the device at old_id.
Frame build_request(std::uint8_t old_id, std::uint8_t new_id);

// Read of one holding register: register 10, the ID, of the device at id.
Frame build_read_request(std::uint8_t id);

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
        not_sent,      // the request could not be written
        port_lost,     // the port failed while the answer was awaited
    } kind = Kind::none;
    std::uint16_t value = 0;
    std::uint8_t code = 0;
    std::uint8_t from = 0;
    bool late = false;     // whole only after the answer window, before the line fell quiet
    std::size_t stray = 0; // bytes that came after the whole reply, dropped

    // A device answered: a value or an exception from the address asked.
    bool from_device() const { return kind == Kind::value || kind == Kind::exception; }
    // The line failed: the request did not go out, or the port went.
    bool line_failed() const { return kind == Kind::not_sent || kind == Kind::port_lost; }
};

// A device's identification: its basic objects as it gives them, printable
// ASCII as text and every other byte (a backslash too) as the text \xNN.
// Empty where it gave none.
struct Identity {
    std::string vendor, product, revision;
};

// What came back for a read of the identification: the kinds of a read's
// reply, a value holding the identity.
struct IdentifyReply {
    ReadReply::Kind kind = ReadReply::Kind::none;
    std::uint8_t code = 0; // an exception's code
    std::uint8_t from = 0; // the address of a reply from another
    Identity identity;
    // A whole frame of the function from the device asked, its CRC right,
    // that is no identification (kind garbled, truncated or bad_crc).
    bool malformed = false;
};

// The read of the basic identification of the device at id.
inline constexpr std::size_t identify_request_len = 7;
std::array<std::uint8_t, identify_request_len> build_identify_request(std::uint8_t id);

// How many bytes a reply to it takes, judging by what has come so far: 5 for
// an exception, else the header, each object announced and the CRC, at most
// max_frame_len.
std::size_t identify_reply_len(std::span<const std::uint8_t> head);

// The bytes that came after an identification request to id, judged.
IdentifyReply parse_identify_reply(std::span<const std::uint8_t> bytes, std::uint8_t id);

// The name of an exception code in qrv-idctl's JSON: "illegal_data_value"
// for 03, ... ("" for a code Modbus does not name).
const char* exception_name(std::uint8_t code);

// The name of a kind in qrv-idctl's JSON: "value", ..., "no_reply" for none,
// "not_sent", "port_lost".
const char* to_string(ReadReply::Kind kind);

// The bytes that came after a read request to id, judged.
ReadReply parse_read_reply(std::span<const std::uint8_t> bytes, std::uint8_t id);

// How many bytes a reply to a read of one register takes, judging by what
// has come so far: 5 for an exception, 7 for a value.
std::size_t read_reply_len(std::span<const std::uint8_t> head);

// How many bytes the answer to an ID change takes, judging by what has come
// so far: 5 for an exception, else its echo's 8.
std::size_t write_reply_len(std::span<const std::uint8_t> head);

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
