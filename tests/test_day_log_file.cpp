#include "day_log_file.h"

#include "files.h"
#include "golden.h"

#include <cerrno>
#include <cstdlib>
#include <gtest/gtest.h>

#ifndef _WIN32
#include <csignal>
#include <sys/resource.h>
#endif

using namespace qrv;
using namespace qrv::test;

namespace {

// What the platforms do differently, in one place.
#ifdef _WIN32
const char *const utf8_set = "CP65001", *const gbk_set = "CP936";
const char* const emoji_as = "??";             // one '?' for each UTF-16 unit
const char* const full_disk = "Z:\\dev\\full"; // Wine's Z: is the Linux root
// The runs under Wine name the ANSI code page they choose.
const std::string system_set = std::string("CP") + (std::getenv("QRV_ANSI_CODE_PAGE") ?: "?");
#else
const char *const utf8_set = "UTF-8", *const gbk_set = "GBK";
const char* const emoji_as = "?";
const char* const full_disk = "/dev/full";
const std::string system_set = "UTF-8";
#endif

TEST(DayLogFile, EncodesTextInTheCharsetOrAsQuestionMarks)
{
    EXPECT_EQ(system_charset(), system_set);
    // GBK bytes from Python's codec, not from the converter we call.
    const struct {
        std::string utf8;
        const char* charset;
        std::optional<std::string> expected;
    } rows[] = {
        {"设置无响应，请重新设置", gbk_set,
         "\xC9\xE8\xD6\xC3\xCE\xDE\xCF\xEC\xD3\xA6\xA3\xAC\xC7\xEB\xD6\xD8\xD0\xC2\xC9\xE8\xD6"
         "\xC3"},
        {"ID\xF0\x9F\x98\x80=1", gbk_set, std::string("ID") + emoji_as + "=1"}, // no emoji in GBK
        {"a\xFF"
         "b",
         gbk_set, "a?b"}, // not UTF-8 at all
        {"原ID= 17\r\n", utf8_set, "原ID= 17\r\n"},
        {"x\xC3", utf8_set, "x?"},        // cut inside a character
        {"abc", "CP99999", std::nullopt}, // no such set: a failure, never an empty text
    };
    for (const auto& row : rows)
        EXPECT_EQ(encode_text(row.utf8, row.charset), row.expected) << row.utf8;
}

// A Chinese system files a whole entry in GBK: the record's bytes from
// Python, ('"' + entry + '"\r\n').encode('gbk').hex().
TEST(DayLogFile, ChineseSystemWritesTheDayLogInGbk)
{
    const Bytes bytes = from_hex(
        "222a2a2a2a2a2a2a2a2a2a2a2a2a2a2a2a2a2a2a2a2a2a2a2a2a2a2a2a2a2a2a2a2a2a2a2a0d0abfaacabcc9e8"
        "d6c3a3acd4ad49443d2031373b202020d0c249443d20312020200d0ac9e8d6c3cab1bce4a3ba323032362f3132"
        "2f362031393a30353a30310d0ab7a2cbcdc3fcc1eea3ba3131203620302041203020312036412039380d0acfec"
        "d3a6cafdbedda3ba312036203020412030203120363820380d0a4d6f6462757320d0c2494420c9e8d6c3b3c9b9"
        "a620202a2a2a2a2a2a2a2a2a2a2a2a2a2a2a2a2a2a2a2a2a2a2a2a2a2a2a2a2a2a2a2a2a2a2a2a0d0a0d0a220d"
        "0a");
    const std::string gbk(bytes.begin(), bytes.end());
    EXPECT_EQ(encode_text("\"" + success_entry + "\"\r\n", gbk_set), gbk);
    if (system_set == "CP936") {
        TempDir dir;
        ASSERT_EQ(append_record(dir.file("2026-12-06.txt"), success_entry), 0);
        EXPECT_EQ(read_file(dir.file("2026-12-06.txt")), gbk);
    }
}

// A day log keeps the encoding it has; a new one takes the ANSI code page
// where that holds the record, else UTF-8 with a byte order mark, so that a
// Western Windows keeps its Chinese texts.
TEST(DayLogFile, DayLogEncodingIsChosenOnceByItsFirstRecord)
{
    const std::string bom = "\xEF\xBB\xBF", zh = "设置成功", zh_utf8 = "\"设置成功\"\r\n",
                      zh_gbk = "\"\xC9\xE8\xD6\xC3\xB3\xC9\xB9\xA6\"\r\n";
    const bool chinese = system_set == "CP936", western = system_set == "CP1252";
    const struct {
        std::string before, text, added;
    } rows[] = {
        {"", "ok", "\"ok\"\r\n"},
        {"", zh,
         chinese   ? zh_gbk
         : western ? bom + zh_utf8
                   : zh_utf8},
        {bom + "\"x\"\r\n", zh, zh_utf8},
        {"\"x\"\r\n", zh,
         chinese   ? zh_gbk
         : western ? "\"????\"\r\n"
                   : zh_utf8},
    };
    for (const auto& row : rows) {
        TempDir dir;
        const std::string path = dir.file("2026-12-06.txt");
        write_file(path, row.before);
        ASSERT_EQ(append_record(path, row.text), 0);
        EXPECT_EQ(read_file(path), row.before + row.added) << row.before;
    }
}

TEST(DayLogFile, AppendsWholeQuotedRecordsToAFileItNeverEmpties)
{
    TempDir dir;
    const std::string path = dir.file("2026-12-06.txt");
    ASSERT_TRUE(create_if_missing(path));
    ASSERT_EQ(append_record(path, "a\r\nb\r\n"), 0);
    ASSERT_TRUE(create_if_missing(path));
    ASSERT_EQ(append_record(path, "c"), 0);
    EXPECT_EQ(read_file(path), "\"a\r\nb\r\n\"\r\n\"c\"\r\n");
    // Each failure says why, for the technician to read.
    EXPECT_FALSE(create_if_missing(dir.file("gone/x.txt")));
    EXPECT_EQ(append_record(dir.file("gone/x.txt"), "x"), ENOENT);
    EXPECT_TRUE(create_if_missing(full_disk));
    EXPECT_EQ(append_record(full_disk, "x"), ENOSPC);
}

// A disk that fills up in the middle of a record, played by a file size cap
// of 1 KiB: set here on Linux; Windows has none, so the run under Wine is
// given Linux's from outside.
TEST(DayLogFile, RecordCutShortIsTakenBackOut)
{
#ifdef _WIN32
    if (!std::getenv("QRV_FILE_SIZE_CAP"))
        GTEST_SKIP() << "no file size cap given for this run";
#else
    const auto handler = std::signal(SIGXFSZ, SIG_IGN); // the write fails instead
    rlimit saved{};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
    rlimit cap = saved;
    cap.rlim_cur = 1024;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &cap), 0);
#endif
    TempDir dir;
    const std::string path = dir.file("2026-12-06.txt");
    // The disk takes none, a few or all but one of the record's 14 bytes.
    for (const std::size_t room : {0, 5, 13}) {
        const std::string before(1024 - room, 'x');
        write_file(path, before);
        EXPECT_NE(append_record(path, "0123456789"), 0);
        EXPECT_EQ(read_file(path), before) << room;
    }
#ifndef _WIN32
    ::setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, handler);
#endif
}

} // namespace
