#include "oplog.h"

#include "fakes.h"
#include "pty.h"

#include <filesystem>
#include <gtest/gtest.h>

using namespace qrv;
using namespace qrv::test;

namespace {

std::string as_text(std::initializer_list<unsigned char> bytes)
{
    return std::string(bytes.begin(), bytes.end());
}

} // namespace

TEST(Oplog, EncodesTextInTheCharsetOrAsQuestionMarks)
{
    // GBK bytes from Python's codec, not from the iconv we call.
    struct Row {
        std::string utf8;
        const char* charset;
        std::string expected;
    } rows[] = {
        {"设置无响应，请重新设置", "GBK",
         as_text({0xC9, 0xE8, 0xD6, 0xC3, 0xCE, 0xDE, 0xCF, 0xEC, 0xD3, 0xA6, 0xA3,
                  0xAC, 0xC7, 0xEB, 0xD6, 0xD8, 0xD0, 0xC2, 0xC9, 0xE8, 0xD6, 0xC3})},
        {"Modbus 新ID 设置成功  ", "GBK",
         as_text({0x4D, 0x6F, 0x64, 0x62, 0x75, 0x73, 0x20, 0xD0, 0xC2, 0x49, 0x44,
                  0x20, 0xC9, 0xE8, 0xD6, 0xC3, 0xB3, 0xC9, 0xB9, 0xA6, 0x20, 0x20})},
        {"ID\xF0\x9F\x98\x80=1", "GBK", "ID?=1"}, // no emoji in GBK
        {"a\xFF"
         "b",
         "GBK", "a?b"}, // not UTF-8 at all
        {"原ID= 17\r\n", "UTF-8", "原ID= 17\r\n"},
        {"x\xC3", "UTF-8", "x?"}, // cut in the middle of a character
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.utf8);
        EXPECT_EQ(encode_text(row.utf8, row.charset), row.expected);
    }
    EXPECT_STREQ(system_charset(), "UTF-8");
}

TEST(Oplog, DayLogFileSitsInTheToolFolder)
{
    EXPECT_EQ(day_log_path("/opt/qrv", "2024-03-05"), "/opt/qrv/2024-03-05.txt");
}

TEST(Oplog, AppendsWholeQuotedRecordsAndNeverTruncates)
{
    TempDir dir;
    const std::string path = dir.file("2026-12-06.txt");
    ASSERT_TRUE(create_if_missing(path));
    EXPECT_EQ(read_file(path), "");
    ASSERT_TRUE(append_record(path, "a\r\nb\r\n"));
    ASSERT_TRUE(create_if_missing(path)); // an existing file keeps its records
    ASSERT_TRUE(append_record(path, "c"));
    EXPECT_EQ(read_file(path), "\"a\r\nb\r\n\"\r\n\"c\"\r\n");
}

TEST(Oplog, ReportsFilesThatCannotBeWritten)
{
    TempDir dir;
    const std::string missing_folder = dir.file("gone/2026-12-06.txt");
    EXPECT_FALSE(create_if_missing(missing_folder));
    EXPECT_FALSE(append_record(missing_folder, "x"));

    // A full disk: every write fails.
    const std::string full = dir.file("full.txt");
    std::filesystem::create_symlink("/dev/full", full);
    EXPECT_TRUE(create_if_missing(full));
    EXPECT_FALSE(append_record(full, "x"));
}

TEST(Oplog, EntryStepsBuildTheBoxText)
{
    FakeWindow window;
    window.log = "typed by the user";
    log_reset(window);
    log_start(window, "2026/12/6 19:05:01");
    const Bytes request{0x01, 0x06, 0x00, 0x0A, 0x00, 0xF7, 0xE8, 0x4E};
    log_sent(window, request);
    log_result(window, text_no_reply);
    log_close(window);
    EXPECT_EQ(window.log, "************************************\r\n"
                          "开始设置，原ID= 17;   新ID= 1   \r\n"
                          "设置时间：2026/12/6 19:05:01\r\n"
                          "发送命令：1 6 0 A 0 F7 E8 4E\r\n"
                          "设置无响应，请重新设置************************************\r\n"
                          "\r\n");
}
