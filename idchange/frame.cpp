#include "frame.h"

#include <algorithm>

namespace qrv {

CrcFields crc16(std::span<const std::uint8_t> cmdstring, int j)
{
    const int last = std::min<int>(j, static_cast<int>(cmdstring.size()) - 1);
    std::uint16_t reg = 0xFFFF;
    for (int i = 0; i <= last; ++i) {
        reg ^= cmdstring[static_cast<std::size_t>(i)];
        for (int bit = 0; bit < 8; ++bit)
            reg = (reg & 1U) ? static_cast<std::uint16_t>((reg >> 1) ^ 0xA001U)
                             : static_cast<std::uint16_t>(reg >> 1);
    }
    return {reg, static_cast<std::int16_t>(reg & 0xFFU), static_cast<std::int16_t>(reg >> 8)};
}

FrameBuf build_request(std::uint8_t old_id, std::uint8_t new_id)
{
    FrameBuf buf{};
    buf[0] = old_id;
    buf[1] = 0x06;
    buf[2] = 0x00;
    buf[3] = 0x0A;
    buf[4] = 0x00;
    buf[5] = new_id;
    put_frame_crc(std::span(buf).first(frame_len));
    return buf;
}

FrameBuf build_read_request(std::uint8_t id)
{
    FrameBuf buf{id, 0x03, 0x00, 0x0A, 0x00, 0x01};
    put_frame_crc(std::span(buf).first(frame_len));
    return buf;
}

std::size_t read_reply_len(std::span<const std::uint8_t> head)
{
    return head.size() >= 2 && (head[1] & 0x80) ? 5 : 7;
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
    if (bytes.size() == 5 && bytes[1] == 0x83)
        return {ReadReply::Kind::exception, 0, bytes[2], id};
    if (bytes.size() == 7 && bytes[1] == 0x03 && bytes[2] == 2)
        return {ReadReply::Kind::value, static_cast<std::uint16_t>(bytes[3] << 8 | bytes[4]), 0,
                id};
    return {ReadReply::Kind::garbled, 0, 0, id};
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
    case ReadReply::Kind::none:
        break;
    }
    return "no_reply";
}

void put_frame_crc(std::span<std::uint8_t> frame)
{
    const std::size_t n = frame.size();
    const CrcFields crc = crc16(frame, static_cast<int>(n) - 3);
    frame[n - 2] = static_cast<std::uint8_t>(crc.crc_lo);
    frame[n - 1] = static_cast<std::uint8_t>(crc.crc_hi);
}

bool frame_crc_ok(std::span<const std::uint8_t> frame)
{
    const std::size_t n = frame.size();
    if (n < 2)
        return false;
    const CrcFields crc = crc16(frame, static_cast<int>(n) - 3);
    return frame[n - 2] == crc.crc_lo && frame[n - 1] == crc.crc_hi;
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
