#include "frame.h"
#include "golden.h"

#include <gtest/gtest.h>

namespace {

using Bytes = std::vector<std::uint8_t>;

// CRC-16/MODBUS: its check value, and frames whose CRC was computed elsewhere.
TEST(Crc16, IndependentVectors)
{
    const struct {
        Bytes bytes;
        std::uint16_t crc;
    } rows[] = {
        {{'1', '2', '3', '4', '5', '6', '7', '8', '9'}, 0x4B37},
        {{0x11, 0x06, 0x00, 0x0A, 0x00, 0x01}, 0x986A},
        {{0x01, 0x06, 0x00, 0x0A, 0x00, 0xF7}, 0x4EE8},
        {{0xF7, 0x06, 0x00, 0x0A, 0x00, 0x01}, 0x9E7C},
        {{0x01, 0x06, 0x00, 0x0A, 0x00, 0x01}, 0x0868},
        {{}, 0xFFFF},
    };
    for (const auto& row : rows)
        EXPECT_EQ(qrv::crc16(row.bytes), row.crc) << std::hex << row.crc;
}

TEST(Frame, RequestWritesRegister10WithTheCrcLowByteFirst)
{
    const struct {
        std::uint8_t old_id, new_id;
        Bytes frame;
    } rows[] = {
        {17, 1, {0x11, 0x06, 0x00, 0x0A, 0x00, 0x01, 0x6A, 0x98}},
        {1, 247, {0x01, 0x06, 0x00, 0x0A, 0x00, 0xF7, 0xE8, 0x4E}},
        {247, 1, {0xF7, 0x06, 0x00, 0x0A, 0x00, 0x01, 0x7C, 0x9E}},
    };
    for (const auto& row : rows) {
        const qrv::Frame frame = qrv::build_request(row.old_id, row.new_id);
        EXPECT_EQ(Bytes(frame.begin(), frame.end()), row.frame) << int(row.old_id);
    }
}

TEST(Frame, CrcCheckRefusesEveryDamagedByte)
{
    const Bytes echo{0x01, 0x06, 0x00, 0x0A, 0x00, 0x01, 0x68, 0x08};
    EXPECT_TRUE(qrv::frame_crc_ok(echo));
    for (std::size_t i = 0; i < echo.size(); ++i) {
        Bytes damaged = echo;
        damaged[i] ^= 0x01;
        EXPECT_FALSE(qrv::frame_crc_ok(damaged)) << i;
    }
    EXPECT_FALSE(qrv::frame_crc_ok(Bytes{0x01, 0x06, 0x00, 0x0A, 0x00, 0x01, 0x08, 0x68}));
    EXPECT_FALSE(qrv::frame_crc_ok(Bytes{0xFF}));
}

} // namespace

namespace {

TEST(Frame, ReadOfTheIdRegisterAndItsReply)
{
    const qrv::Frame request = qrv::build_read_request(17);
    EXPECT_EQ(Bytes(request.begin(), request.end()),
              qrv::test::from_hex("11 03 00 0A 00 01 A6 98"));
    using K = qrv::ReadReply::Kind;
    const struct {
        const char* bytes;
        K kind;
        int value, code, from;
    } rows[] = {
        // clang-format off
        {"11 03 02 00 11 B9 8B", K::value, 17, 0, 17}, {"11 83 02 C1 34", K::exception, 0, 2, 17},
        {"05 03 02 00 05 89 87", K::other_address, 0, 0, 5}, {"01 86 03 02 61", K::other_address, 0, 0, 1},
        {"11 03 02 00 11 B9 8C", K::bad_crc, 0, 0, 0}, {"11 03 02 00 11 B9 8B 55", K::bad_crc, 0, 0, 0},
        {"11 03 02 00 11 B9 8B 00", K::garbled, 0, 0, 17}, // a zero after a frame keeps its CRC right
        {"11 06 00 0A 00 11 6B 54", K::garbled, 0, 0, 17}, {"11 03 02 00 11 B9", K::truncated, 0, 0, 0},
        {"11 83 02", K::truncated, 0, 0, 0}, {"", K::none, 0, 0, 0},
        // clang-format on
    };
    for (const auto& row : rows) {
        const qrv::ReadReply r = qrv::parse_read_reply(qrv::test::from_hex(row.bytes), 17);
        EXPECT_EQ(std::tuple(r.kind, int(r.value), int(r.code), int(r.from)),
                  std::tuple(row.kind, row.value, row.code, row.from))
            << row.bytes;
    }
}

// The basic identification as devices answer it: by its own length however
// many objects it announces, never a value from a malformed answer, each
// byte as the device sent it.
TEST(Frame, IdentificationAndItsReply)
{
    const auto request = qrv::build_identify_request(17);
    EXPECT_EQ(Bytes(request.begin(), request.end()), qrv::test::from_hex("11 2B 0E 01 00 B1 B4"));
    using K = qrv::ReadReply::Kind;
    const std::string acme = "11 2B 0E 01 01 00 00 03 00 04 41 43 4D 45 01 07 51 52 56 2D 31 30 30 "
                             "02 03 31 2E 32 3B 89";
    // The bytes, and "CRC" at the end for their CRC.
    const auto bytes_of = [](const std::string& hex) {
        if (!hex.ends_with("CRC"))
            return qrv::test::from_hex(hex);
        Bytes bytes = qrv::test::from_hex(hex.substr(0, hex.size() - 3) + "00 00");
        qrv::put_frame_crc(bytes);
        return bytes;
    };
    const struct {
        std::string bytes;
        K kind;
        std::string identity; // vendor|product|revision
        int code;
        bool malformed = false;
    } rows[] = {
        // clang-format off
        {acme, K::value, "ACME|QRV-100|1.2", 0}, {"11 AB 01 9F 35", K::exception, "||", 1},
        {"11 2B 0E 01 01 00 00 01 00 02 0A 1B A1 D8", K::value, "\\x0A\\x1B||", 0}, // control characters
        // A vendor in GBK, a backslash, DEL: bytes, as they came.
        {"11 2B 0E 01 01 00 00 02 00 04 B9 A4 5C 7F 02 02 41 7E CRC", K::value, "\\xB9\\xA4\\x5C\\x7F||A~", 0},
        {acme.substr(0, acme.size() - 3), K::truncated, "||", 0}, {acme + " 00", K::garbled, "||", 0},
        {"05 2B 0E 01 01 00 00 00 26 24", K::other_address, "||", 0},
        // Whole by their CRC, but no identification: fewer or more objects than announced, another MEI type.
        {"11 2B 0D 01 01 00 00 00 26 E8", K::garbled, "||", 0, true},
        {"11 2B 0E 01 01 00 00 01 00 02 41 43 01 01 51 CRC", K::garbled, "||", 0, true},
        {"11 2B 0E 01 01 00 00 02 00 02 41 43 CRC", K::truncated, "||", 0, true},
        {"11 2B 0E 01 01 00 00 02 00 04 41 43 4D 45 01 09 51 52 2E 41", K::truncated, "||", 0, true},
        // clang-format on
    };
    for (const auto& row : rows) {
        const Bytes bytes = bytes_of(row.bytes);
        const qrv::IdentifyReply r = qrv::parse_identify_reply(bytes, 17);
        const auto& id = r.identity;
        EXPECT_EQ(std::tuple(r.kind, id.vendor + "|" + id.product + "|" + id.revision, int(r.code),
                             r.malformed),
                  std::tuple(row.kind, row.identity, row.code, row.malformed))
            << row.bytes;
    }
    // Announced objects past the longest frame are never waited for.
    Bytes endless = qrv::test::from_hex("11 2B 0E 01 01 00 00 FF");
    for (int object = 0; object < 200; ++object)
        endless.insert(endless.end(), {0, 250});
    EXPECT_EQ(qrv::identify_reply_len(endless), qrv::max_frame_len);
}

} // namespace
