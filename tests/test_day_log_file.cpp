#include "day_log_file.h"

#include "files.h"
#include "golden.h"

#include <cerrno>
#include <cstdlib>
#include <gtest/gtest.h>

#ifdef _WIN32
#include <windows.h>
#else
#include <csignal>
#include <sys/resource.h>
#endif

using namespace qrv;
using namespace qrv::test;

namespace {

// What the platforms do differently, in one place.
#ifdef _WIN32
const char* const full_disk = "Z:\\dev\\full"; // Wine's Z: is the Linux root
// The runs under Wine name the ANSI code page they choose.
const std::string code_page = std::getenv("QRV_ANSI_CODE_PAGE") ?: "?";
#else
const char* const full_disk = "/dev/full";
const std::string code_page = "UTF-8";
#endif

// A Chinese system files a whole entry in GBK: the record's bytes from
// Python, ('"' + entry + '"\r\n').encode('gbk').hex().
TEST(DayLogFile, ChineseSystemWritesTheDayLogInGbk)
{
#ifdef _WIN32
    ASSERT_EQ(std::to_string(GetACP()), code_page); // the run got the code page it asked for
#endif
    if (code_page != "936")
        GTEST_SKIP() << "not a Chinese system";
    const Bytes bytes = from_hex(
        "222a2a2a2a2a2a2a2a2a2a2a2a2a2a2a2a2a2a2a2a2a2a2a2a2a2a2a2a2a2a2a2a2a2a2a2a0d0abfaacabcc9e8"
        "d6c3a3acd4ad49443d2031373b202020d0c249443d20312020200d0ac9e8d6c3cab1bce4a3ba323032362f3132"
        "2f362031393a30353a30310d0ab7a2cbcdc3fcc1eea3ba3131203620302041203020312036412039380d0acfec"
        "d3a6cafdbedda3ba312036203020412030203120363820380d0a4d6f6462757320d0c2494420c9e8d6c3b3c9b9"
        "a620202a2a2a2a2a2a2a2a2a2a2a2a2a2a2a2a2a2a2a2a2a2a2a2a2a2a2a2a2a2a2a2a2a2a2a2a0d0a0d0a220d"
        "0a");
    TempDir dir;
    ASSERT_EQ(append_record(dir.file("2026-12-06.txt"), success_entry), 0);
    EXPECT_EQ(read_file(dir.file("2026-12-06.txt")), std::string(bytes.begin(), bytes.end()));
}

// A new day log takes the ANSI code page where that holds the record, else
// UTF-8 with a byte order mark, so that a Western Windows keeps its Chinese
// texts. An existing one keeps UTF-8 when it is UTF-8 (ASCII included, with
// or without a mark), else its code page where that holds the record; what
// the file's encoding cannot hold goes in UTF-8: never a '?'.
TEST(DayLogFile, DayLogEncodingFollowsTheFileAndLosesNothing)
{
    const std::string bom = "\xEF\xBB\xBF", zh = "设置成功", zh_utf8 = "\"设置成功\"\r\n",
                      zh_gbk = "\"\xC9\xE8\xD6\xC3\xB3\xC9\xB9\xA6\"\r\n";
    const bool chinese = code_page == "936", western = code_page == "1252";
    const struct {
        std::string before, text, added;
    } rows[] = {
        {"", "ok", "\"ok\"\r\n"},
        {"", zh,
         chinese   ? zh_gbk
         : western ? bom + zh_utf8
                   : zh_utf8},
        {bom + "\"x\"\r\n", zh, zh_utf8},
        {"note\r\n", zh, zh_utf8}, // a technician's note in ASCII
        {"便条\r\n", zh, zh_utf8}, // UTF-8 as Notepad and the Linux build write it
        {"\xB1\xE3\xCC\xF5\r\n", zh, chinese ? zh_gbk : zh_utf8}, // 便条 in GBK
        {"caf\xE9\r\n", "ok", "\"ok\"\r\n"},                      // café in code page 1252
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
