#include "oplog.h"

#include "files.h"

#include <csignal>
#include <filesystem>
#include <gtest/gtest.h>
#include <sys/resource.h>

using namespace qrv;
using namespace qrv::test;

TEST(Oplog, EncodesTextInTheCharsetOrAsQuestionMarks)
{
    // GBK bytes from Python's codec, not from the iconv we call.
    const struct {
        std::string utf8;
        const char* charset;
        std::string expected;
    } rows[] = {
        {"设置无响应，请重新设置", "GBK",
         "\xC9\xE8\xD6\xC3\xCE\xDE\xCF\xEC\xD3\xA6\xA3\xAC\xC7\xEB\xD6\xD8\xD0\xC2\xC9\xE8\xD6"
         "\xC3"},
        {"Modbus 新ID 设置成功  ", "GBK", "Modbus \xD0\xC2ID \xC9\xE8\xD6\xC3\xB3\xC9\xB9\xA6  "},
        {"ID\xF0\x9F\x98\x80=1", "GBK", "ID?=1"}, // no emoji in GBK
        {"a\xFF"
         "b",
         "GBK", "a?b"}, // not UTF-8 at all
        {"原ID= 17\r\n", "UTF-8", "原ID= 17\r\n"},
        {"x\xC3", "UTF-8", "x?"}, // cut inside a character
    };
    for (const auto& row : rows)
        EXPECT_EQ(encode_text(row.utf8, row.charset), row.expected) << row.utf8;
    EXPECT_STREQ(system_charset(), "UTF-8");
}

TEST(Oplog, AppendsWholeQuotedRecordsToAFileItNeverEmpties)
{
    TempDir dir;
    const std::string path = dir.file("2026-12-06.txt");
    ASSERT_TRUE(create_if_missing(path));
    ASSERT_TRUE(append_record(path, "a\r\nb\r\n"));
    ASSERT_TRUE(create_if_missing(path));
    ASSERT_TRUE(append_record(path, "c"));
    EXPECT_EQ(read_file(path), "\"a\r\nb\r\n\"\r\n\"c\"\r\n");

    EXPECT_FALSE(create_if_missing(dir.file("gone/x.txt")));
    EXPECT_FALSE(append_record(dir.file("gone/x.txt"), "x"));
    std::filesystem::create_symlink("/dev/full", dir.file("full.txt"));
    EXPECT_FALSE(append_record(dir.file("full.txt"), "x"));
}

TEST(Oplog, RecordCutShortIsTakenBackOut)
{
    TempDir dir;
    const std::string path = dir.file("2026-12-06.txt");
    const std::string first = "\"first\"\r\n";
    // The disk takes none, a few or all but one of the next record's bytes;
    // SIGXFSZ ignored turns the cap into a failing write.
    const auto handler = std::signal(SIGXFSZ, SIG_IGN);
    for (const std::size_t room : {0, 5, 13}) {
        write_file(path, first);
        rlimit saved{};
        ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
        rlimit cap = saved;
        cap.rlim_cur = first.size() + room;
        ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &cap), 0);
        const bool appended = append_record(path, "0123456789");
        ::setrlimit(RLIMIT_FSIZE, &saved);
        EXPECT_FALSE(appended) << room;
        EXPECT_EQ(read_file(path), first) << room;
        ASSERT_TRUE(append_record(path, "next"));
        EXPECT_EQ(read_file(path), first + "\"next\"\r\n");
    }
    std::signal(SIGXFSZ, handler);
}
