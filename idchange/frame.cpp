#include "frame.h"

#include <algorithm>
#include <iterator>

namespace qrv {

std::uint16_t crc16(std::span<const std::uint8_t> bytes)
{
    std::uint16_t reg = 0xFFFF;
    for (const std::uint8_t byte : bytes) {
        reg ^= byte;
        for (int bit = 0; bit < 8; ++bit)
            reg = (reg & 1U) ? static_cast<std::uint16_t>((reg >> 1) ^ 0xA001U)
                             : static_cast<std::uint16_t>(reg >> 1);
    }
    return reg;
}

namespace {

// address, function, then a register and a value, each high byte first.
Frame build(std::uint8_t address, std::uint8_t function, std::uint16_t reg, std::uint16_t value)
{
    Frame frame{address,
                function,
                static_cast<std::uint8_t>(reg >> 8),
                static_cast<std::uint8_t>(reg & 0xFF),
                static_cast<std::uint8_t>(value >> 8),
                static_cast<std::uint8_t>(value & 0xFF)};
    put_frame_crc(frame);
    return frame;
}

// A read's reply with the one register's value: address, function, byte
// count, the value, CRC.
constexpr std::size_t value_reply_len = 7;

// What the framing alone says of a reply that takes len bytes: nothing,
// too short, a bad CRC, another address; garbled for a whole frame from id,
// whose content is for the caller to judge.
ReadReply judge_frame(std::span<const std::uint8_t> bytes, std::uint8_t id, std::size_t len)
{
    if (bytes.empty())
        return {};
    if (bytes.size() < len)
        return {ReadReply::Kind::truncated};
    if (!frame_crc_ok(bytes))
        return {ReadReply::Kind::bad_crc};
    if (bytes[0] != id)
        return {ReadReply::Kind::other_address, 0, 0, bytes[0]};
    return {ReadReply::Kind::garbled, 0, 0, id};
}

} // namespace

Frame build_request(std::uint8_t old_id, std::uint8_t new_id)
{
    return build(old_id, fc_write_single_register, id_register, new_id);
}

Frame build_read_request(std::uint8_t id)
{
    return build(id, fc_read_holding_registers, id_register, 1);
}

std::size_t read_reply_len(std::span<const std::uint8_t> head)
{
    return head.size() >= 2 && (head[1] & exception_flag) ? exception_reply_len : value_reply_len;
}

std::size_t write_reply_len(std::span<const std::uint8_t> head)
{
    return head.size() >= 2 && (head[1] & exception_flag) ? exception_reply_len : frame_len;
}

ReadReply parse_read_reply(std::span<const std::uint8_t> bytes, std::uint8_t id)
{
    ReadReply reply = judge_frame(bytes, id, read_reply_len(bytes));
    if (reply.kind != ReadReply::Kind::garbled)
        return reply;
    if (bytes.size() == exception_reply_len &&
        bytes[1] == (fc_read_holding_registers | exception_flag))
        return {ReadReply::Kind::exception, 0, bytes[2], id};
    if (bytes.size() == value_reply_len && bytes[1] == fc_read_holding_registers && bytes[2] == 2)
        return {ReadReply::Kind::value, static_cast<std::uint16_t>(bytes[3] << 8 | bytes[4]), 0,
                id};
    return reply;
}

std::array<std::uint8_t, identify_request_len> build_identify_request(std::uint8_t id)
{
    std::array<std::uint8_t, identify_request_len> frame{id, fc_encapsulated_interface,
                                                         mei_read_device_id, device_id_basic, 0};
    put_frame_crc(frame);
    return frame;
}

namespace {

// Address, function, MEI type, code, conformity, more follows, next object,
// number of objects; then each object's id, length and bytes.
constexpr std::size_t identify_head_len = 8;

// Printable ASCII as it is; any other byte, and the backslash that would make
// it ambiguous, as the text \xNN: a vendor name in GBK is shown as sent,
// never as the wrong characters.
std::string as_sent(std::span<const std::uint8_t> bytes)
{
    static constexpr char hex[] = "0123456789ABCDEF";
    std::string text;
    for (const std::uint8_t b : bytes)
        if (b >= 0x20 && b < 0x7F && b != '\\')
            text += static_cast<char>(b);
        else
            text += {'\\', 'x', hex[b >> 4], hex[b & 15]};
    return text;
}

} // namespace

std::size_t identify_reply_len(std::span<const std::uint8_t> head)
{
    if (head.size() >= 2 && (head[1] & exception_flag))
        return exception_reply_len;
    std::size_t len = identify_head_len;
    for (std::size_t object = 0; head.size() >= identify_head_len && object < head[7] &&
                                 head.size() >= len + 2 && len + 2 <= max_frame_len;
         ++object)
        len += 2 + head[len + 1];
    return std::min(len + 2, max_frame_len);
}

namespace {

IdentifyReply parse_identification(std::span<const std::uint8_t> bytes, std::uint8_t id)
{
    const ReadReply frame = judge_frame(bytes, id, identify_reply_len(bytes));
    IdentifyReply reply{frame.kind, frame.code, frame.from, {}};
    if (frame.kind != ReadReply::Kind::garbled)
        return reply;
    if (bytes.size() == exception_reply_len &&
        bytes[1] == (fc_encapsulated_interface | exception_flag))
        return {ReadReply::Kind::exception, bytes[2], 0, {}};
    const bool framed = bytes.size() >= identify_head_len + 2 &&
                        bytes[1] == fc_encapsulated_interface && bytes[2] == mei_read_device_id &&
                        bytes[3] == device_id_basic && identify_reply_len(bytes) == bytes.size();
    if (!framed)
        return reply;
    std::string* const objects[] = {&reply.identity.vendor, &reply.identity.product,
                                    &reply.identity.revision};
    std::size_t at = identify_head_len;
    for (std::size_t object = 0; object < bytes[7]; ++object, at += 2 + bytes[at + 1]) {
        // Objects that run into the CRC: cut short at the longest frame.
        if (at + 2 + bytes[at + 1] > bytes.size() - 2)
            return reply;
        if (bytes[at] < std::size(objects))
            *objects[bytes[at]] = as_sent(bytes.subspan(at + 2, bytes[at + 1]));
    }
    reply.kind = at + 2 == bytes.size() ? ReadReply::Kind::value : ReadReply::Kind::garbled;
    return reply;
}

} // namespace

IdentifyReply parse_identify_reply(std::span<const std::uint8_t> bytes, std::uint8_t id)
{
    IdentifyReply reply = parse_identification(bytes, id);
    // A frame of the function from the device asked, whole by its CRC, that
    // is no identification: the device's, malformed, not a damaged frame.
    // (A whole identification with a byte after it passes the CRC too.)
    const std::size_t len = identify_reply_len(bytes);
    reply.malformed =
        reply.kind != ReadReply::Kind::value && reply.kind != ReadReply::Kind::exception &&
        bytes.size() > 2 && bytes[0] == id && bytes[1] == fc_encapsulated_interface &&
        frame_crc_ok(bytes) && !(len < bytes.size() && frame_crc_ok(bytes.first(len)));
    return reply;
}

const char* exception_name(std::uint8_t code)
{
    static const char* const names[] = {"",
                                        "illegal_function",
                                        "illegal_data_address",
                                        "illegal_data_value",
                                        "server_device_failure",
                                        "acknowledge",
                                        "server_device_busy",
                                        "negative_acknowledge",
                                        "memory_parity_error",
                                        "",
                                        "gateway_path_unavailable",
                                        "gateway_target_failed_to_respond"};
    return code < std::size(names) ? names[code] : "";
}

const char* to_string(ReadReply::Kind kind)
{
    switch (kind) {
    case ReadReply::Kind::value:
        return "value";
    case ReadReply::Kind::exception:
        return "exception";
    case ReadReply::Kind::other_address:
        return "other_address";
    case ReadReply::Kind::bad_crc:
        return "bad_crc";
    case ReadReply::Kind::garbled:
        return "garbled";
    case ReadReply::Kind::truncated:
        return "truncated";
    case ReadReply::Kind::not_sent:
        return "not_sent";
    case ReadReply::Kind::port_lost:
        return "port_lost";
    case ReadReply::Kind::none:
        break;
    }
    return "no_reply";
}

void put_frame_crc(std::span<std::uint8_t> frame)
{
    const std::size_t n = frame.size();
    const std::uint16_t crc = crc16(frame.first(n - 2));
    frame[n - 2] = static_cast<std::uint8_t>(crc & 0xFF);
    frame[n - 1] = static_cast<std::uint8_t>(crc >> 8);
}

bool frame_crc_ok(std::span<const std::uint8_t> frame)
{
    const std::size_t n = frame.size();
    if (n < 2)
        return false;
    const std::uint16_t crc = crc16(frame.first(n - 2));
    return frame[n - 2] == (crc & 0xFF) && frame[n - 1] == (crc >> 8);
}

std::string hex_byte(std::uint8_t value)
{
    static constexpr char digits[] = "0123456789ABCDEF";
    std::string text;
    if (value >= 16)
        text += digits[value >> 4];
    text += digits[value & 0x0F];
    return text;
}

std::string hex_bytes(std::span<const std::uint8_t> bytes)
{
    std::string text;
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        if (i > 0)
            text += ' ';
        text += hex_byte(bytes[i]);
    }
    return text;
}

} // namespace qrv
