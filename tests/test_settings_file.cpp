#include "settings_file.h"

#include "fakes.h"
#include "files.h"

#ifndef _WIN32
#include "pty.h"
#include <sys/stat.h>
#endif

#include <filesystem>
#include <gtest/gtest.h>

namespace {

namespace fs = std::filesystem;
using namespace qrv::test;

TEST(SettingsFile, FieldGrammar)
{
    const struct {
        std::string bytes;
        Strings fields;
    } rows[] = {
        {"\"8\",\"4\"\r\n", {"8", "4"}},
        {"5,2", {"5", "2"}},
        {"5\r\n2", {"5", "2"}},
        {"5\n2", {"5", "2"}},
        {"5\r2", {"5", "2"}},
        {" 5,\t2", {"5", "2"}},
        {"\"5\"xx,\"2\"", {"5", "2"}},
        {"\"5,1\",2", {"5,1", "2"}},
        {",2", {"", "2"}},
        {"\"5\",\"2\",\"7\"", {"5", "2"}},
        {"\"5,2\r\n", {"5,2\r\n"}},
        {"\"8\"\r\n", {"8"}},
        {"", {}},
    };
    for (const auto& row : rows)
        EXPECT_EQ(qrv::read_fields(row.bytes, 2), row.fields) << row.bytes;
}

TEST(SettingsFile, StoredTextSelectsAnIndexOfItsList)
{
    const struct {
        const char* text;
        int count;
        std::optional<int> index;
    } rows[] = {
        {"3.5", 24, 4}, {"2.5", 24, 2},   {"abc", 24, 0},    {"", 24, 0},     {" 7x", 24, 7},
        {"23", 24, 23}, {"5", 6, 5},      {"-0.4", 24, 0},   {"-1", 24, {}},  {"24", 24, {}},
        {"6", 6, {}},   {"23.5", 24, {}}, {"70000", 24, {}}, {"1e400", 6, 1}, {"\t+2.5,1", 6, 2},
    };
    for (const auto& row : rows)
        EXPECT_EQ(qrv::stored_index(row.text, row.count), row.index) << row.text;
}

// Notepad's encodings too: UTF-8 with a byte order mark, and UTF-16 either way round.
TEST(SettingsFile, ReadsTwoFieldsOfAFileOfAtMost64KiB)
{
    const std::string record = "\"5\",\"2\"\r\n";
    const auto utf16 = [](std::string text, bool little) {
        std::string bytes = little ? "\xFF\xFE" : "\xFE\xFF";
        for (const char c : text)
            bytes += little ? std::string{c, '\0'} : std::string{'\0', c};
        return bytes;
    };
    const struct {
        std::string bytes;
        std::optional<Strings> fields;
    } rows[] = {
        {record, Strings{"5", "2"}},
        {"\xEF\xBB\xBF" + record, Strings{"5", "2"}},
        {utf16(record, true), Strings{"5", "2"}},
        {utf16(record, false), Strings{"5", "2"}},
        {utf16("\"5\xE9\",2", true), Strings{"5?", "2"}}, // é is no ASCII
        {record + std::string(64 * 1024 - record.size(), ' '), Strings{"5", "2"}},
        {record + std::string(64 * 1024 - record.size() + 1, ' '), std::nullopt},
    };
    TempDir dir;
    const std::string path = dir.file("parameter.txt");
    for (const auto& row : rows) {
        write_file(path, row.bytes);
        const auto read = qrv::load_port_settings(path);
        EXPECT_EQ(read ? std::optional(Strings{read->saved_port_index, read->saved_baud_index})
                       : std::nullopt,
                  row.fields)
            << row.bytes.size() << " bytes";
    }
#ifndef _WIN32
    write_file(path, record);
    ASSERT_EQ(::chmod(path.c_str(), 0200), 0);
    ASSERT_EQ(::chmod(dir.path().c_str(), 0755), 0);
    EXPECT_TRUE(as_unprivileged([&] { return !qrv::load_port_settings(path); }));
#endif
}

TEST(SettingsFile, WriterReplacesTheWholeFileOrReportsFailure)
{
    TempDir dir;
    const std::string path = dir.file("parameter.txt");
    ASSERT_TRUE(qrv::save_settings_file(path, {"23", "5"}));
    ASSERT_TRUE(qrv::save_settings_file(path, {"8", "4"}));
    EXPECT_EQ(read_file(path), "\x22\x38\x22\x2C\x22\x34\x22\x0D\x0A");
    EXPECT_FALSE(qrv::save_settings_file(dir.file("gone/parameter.txt"), {"8", "4"}));
}

} // namespace
