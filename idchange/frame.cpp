#include "frame.h"

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
    return head.size() >= 2 && (head[1] & exception_flag) ? 5 : 7;
}

ReadReply parse_read_reply(std::span<const std::uint8_t> bytes, std::uint8_t id)
{
    if (bytes.empty())
        return {};
    if (bytes.size() < read_reply_len(bytes))
        return {ReadReply::Kind::truncated};
    if (!frame_crc_ok(bytes))
        return {ReadReply::Kind::bad_crc};
    if (bytes[0] != id)
        return {ReadReply::Kind::other_address, 0, 0, bytes[0]};
    if (bytes.size() == 5 && bytes[1] == (fc_read_holding_registers | exception_flag))
        return {ReadReply::Kind::exception, 0, bytes[2], id};
    if (bytes.size() == 7 && bytes[1] == fc_read_holding_registers && bytes[2] == 2)
        return {ReadReply::Kind::value, static_cast<std::uint16_t>(bytes[3] << 8 | bytes[4]), 0,
                id};
    return {ReadReply::Kind::garbled, 0, 0, id};
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
