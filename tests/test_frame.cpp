#include "frame.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using qrv::crc16;
using Bytes = std::vector<std::uint8_t>;

Bytes ascii(const std::string& text)
{
    return Bytes(text.begin(), text.end());
}

TEST(Crc16, KnownVectors)
{
    const Bytes check = ascii("123456789");
    struct Row {
        const char* name;
        Bytes bytes;
        int j;
        std::int32_t reg;
    } rows[] = {
        {"CRC-16/MODBUS check value", check, 8, 0x4B37},
        {"request 17 -> 1", {0x11, 0x06, 0x00, 0x0A, 0x00, 0x01}, 5, 0x986A},
        {"request 1 -> 247", {0x01, 0x06, 0x00, 0x0A, 0x00, 0xF7}, 5, 0x4EE8},
        {"request 247 -> 1", {0xF7, 0x06, 0x00, 0x0A, 0x00, 0x01}, 5, 0x9E7C},
        {"echo of id 1", {0x01, 0x06, 0x00, 0x0A, 0x00, 0x01}, 5, 0x0868},
        // Only bytes 0..j count, whatever follows them.
        {"prefix of a longer buffer",
         {0x11, 0x06, 0x00, 0x0A, 0x00, 0x01, 0x6A, 0x98, 9},
         5,
         0x986A},
        {"j = -1 covers no byte", check, -1, 0xFFFF},
        {"j beyond the end is clamped", check, 100, 0x4B37},
        {"empty input", {}, 3, 0xFFFF},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const qrv::CrcFields crc = crc16(row.bytes, row.j);
        EXPECT_EQ(crc.crc_reg, row.reg);
        EXPECT_EQ(crc.crc_lo, row.reg & 0xFF);
        EXPECT_EQ(crc.crc_hi, row.reg >> 8);
    }
}

TEST(BuildRequest, WritesRegister10WithCrcLowByteFirst)
{
    struct Row {
        std::uint8_t old_id, new_id;
        Bytes frame;
    } rows[] = {
        {17, 1, {0x11, 0x06, 0x00, 0x0A, 0x00, 0x01, 0x6A, 0x98}},
        {1, 247, {0x01, 0x06, 0x00, 0x0A, 0x00, 0xF7, 0xE8, 0x4E}},
        {247, 1, {0xF7, 0x06, 0x00, 0x0A, 0x00, 0x01, 0x7C, 0x9E}},
        {1, 1, {0x01, 0x06, 0x00, 0x0A, 0x00, 0x01, 0x68, 0x08}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(testing::Message() << int(row.old_id) << " -> " << int(row.new_id));
        const qrv::FrameBuf buf = qrv::build_request(row.old_id, row.new_id);
        EXPECT_EQ(Bytes(buf.begin(), buf.begin() + qrv::frame_len), row.frame);
        EXPECT_EQ(Bytes(buf.begin() + qrv::frame_len, buf.end()), Bytes(3, 0));
    }
}

TEST(FrameCrcOk, AcceptsTheEchoAndRejectsAnyDamagedByte)
{
    const std::array<std::uint8_t, qrv::frame_len> echo{0x01, 0x06, 0x00, 0x0A,
                                                        0x00, 0x01, 0x68, 0x08};
    EXPECT_TRUE(qrv::frame_crc_ok(echo));
    for (std::size_t i = 0; i < echo.size(); ++i) {
        for (const std::uint8_t mask : {0x01, 0x80, 0xFF}) {
            SCOPED_TRACE(testing::Message() << "byte " << i << " ^ " << int(mask));
            auto damaged = echo;
            damaged[i] ^= mask;
            EXPECT_FALSE(qrv::frame_crc_ok(damaged));
        }
    }
    // CRC bytes swapped: high byte first is not the wire order.
    auto swapped = echo;
    std::swap(swapped[6], swapped[7]);
    EXPECT_FALSE(qrv::frame_crc_ok(swapped));
}

TEST(Hex, ByteTexts)
{
    const struct {
        std::uint8_t value;
        const char* text;
    } rows[] = {{0, "0"},   {6, "6"},    {10, "A"},   {15, "F"},
                {16, "10"}, {106, "6A"}, {247, "F7"}, {255, "FF"}};
    for (const auto& row : rows) {
        SCOPED_TRACE(int(row.value));
        EXPECT_EQ(qrv::hex_byte(row.value), row.text);
    }
}

TEST(Hex, JoinedByOneBlank)
{
    const struct {
        Bytes bytes;
        const char* text;
    } rows[] = {
        {{0x01, 0x06, 0x00, 0x0A, 0x00, 0xF7, 0xE8, 0x4E}, "1 6 0 A 0 F7 E8 4E"},
        {{0xFF}, "FF"},
        {{}, ""},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.text);
        EXPECT_EQ(qrv::hex_bytes(row.bytes), row.text);
    }
}

} // namespace
