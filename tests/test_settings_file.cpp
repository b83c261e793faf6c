#include "settings_file.h"

#include "fakes.h"
#include "form1.h"
#include "pty.h"
#include "qt_app.h"

#include <QComboBox>
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;
using qrv::test::read_file;
using qrv::test::TempDir;
using qrv::test::write_file;
using Strings = std::vector<std::string>;

const std::string writer_form = "\"8\",\"4\"\r\n";
const std::string over_large = writer_form + std::string(64 * 1024, ' ');
const std::string garbage("\x00\xFF\x80\xFE\x01\x7F\xC3", 7); // no separator in it

TEST(ReadFields, FieldEnds)
{
    const struct {
        const char* name;
        std::string bytes;
        Strings fields;
    } rows[] = {
        {"writer form", writer_form, {"8", "4"}},
        {"no quotes", "5,2", {"5", "2"}},
        {"CR LF between", "5\r\n2", {"5", "2"}},
        {"LF between", "5\n2", {"5", "2"}},
        {"CR between", "5\r2", {"5", "2"}},
        {"blanks before fields", " 5,\t2", {"5", "2"}},
        {"text after closing quote", "\"5\"xx,\"2\"", {"5", "2"}},
        {"comma inside quotes", "\"5,1\",\"2\"", {"5,1", "2"}},
        {"third field ignored", "\"5\",\"2\",\"7\"\r\n", {"5", "2"}},
        {"empty first field", ",2", {"", "2"}},
        {"no closing quote", "\"5,2\r\n", {"5,2\r\n"}},
        {"one field", "\"8\"\r\n", {"8"}},
        {"empty input", "", {}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(qrv::read_fields(row.bytes, 2), row.fields);
    }
}

TEST(StoredIndex, RoundsTheLeadingNumberIntoTheList)
{
    const struct {
        const char* text;
        int count;
        std::optional<int> index;
    } rows[] = {
        {"3.5", 24, 4},    {"2.5", 24, 2}, {"0.5", 6, 0},    {"abc", 24, 0},  {"", 24, 0},
        {"-1", 24, {}},    {"24", 24, {}}, {"23", 24, 23},   {"5", 6, 5},     {"6", 6, {}},
        {"70000", 24, {}}, {" 7x", 24, 7}, {"23.5", 24, {}}, {"-0.4", 24, 0},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(testing::Message() << '"' << row.text << "\" of " << row.count);
        EXPECT_EQ(qrv::stored_index(row.text, row.count), row.index);
    }
}

std::optional<Strings> loaded(const std::string& path)
{
    const auto settings = qrv::load_port_settings(path);
    if (!settings)
        return std::nullopt;
    return Strings{settings->saved_port_index, settings->saved_baud_index};
}

TEST(LoadPortSettings, RealFiles)
{
    const struct {
        const char* name;
        std::string bytes;
        std::optional<Strings> fields;
    } rows[] = {
        {"writer form", writer_form, Strings{"8", "4"}},
        {"one field", "\"8\"\r\n", std::nullopt},
        {"empty file", "", std::nullopt},
        {"garbage", garbage, std::nullopt},
        {"garbage with a comma", std::string("\x00\xFF,\x80", 4),
         Strings{std::string("\x00\xFF", 2), "\x80"}},
        {"64 KiB exactly", writer_form + std::string(64 * 1024 - writer_form.size(), ' '),
         Strings{"8", "4"}},
        {"over 64 KiB", over_large, std::nullopt},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        TempDir dir;
        const std::string path = dir.file(qrv::settings_file_name);
        write_file(path, row.bytes);
        EXPECT_TRUE(qrv::settings_file_present(path));
        EXPECT_EQ(loaded(path), row.fields);
    }
}

TEST(LoadPortSettings, MissingFileOrFolder)
{
    TempDir dir;
    const std::string path = dir.file(qrv::settings_file_name);
    EXPECT_FALSE(qrv::settings_file_present(path));
    EXPECT_EQ(loaded(path), std::nullopt);
    fs::create_directory(path);
    EXPECT_FALSE(qrv::settings_file_present(path));
    EXPECT_EQ(loaded(path), std::nullopt);
}

TEST(SaveSettingsFile, ExactBytesAndWholeReplacement)
{
    EXPECT_EQ(qrv::settings_record({"8", "4"}),
              std::string("\x22\x38\x22\x2C\x22\x34\x22\x0D\x0A"));
    TempDir dir;
    const std::string path = dir.file(qrv::settings_file_name);
    const struct {
        qrv::PortSettings settings;
        std::string bytes;
    } saves[] = {
        {{"23", "5"}, "\"23\",\"5\"\r\n"},
        {{"8", "4"}, "\"8\",\"4\"\r\n"}, // shorter after longer: no tail left
    };
    for (const auto& save : saves) {
        SCOPED_TRACE(save.bytes);
        EXPECT_TRUE(qrv::save_settings_file(path, save.settings));
        EXPECT_EQ(read_file(path), save.bytes);
    }
}

TEST(SaveSettingsFile, FailsWhereNoFileCanBe)
{
    TempDir dir;
    fs::create_directory(dir.file(qrv::settings_file_name));
    for (const std::string& path :
         {dir.file("missing") + "/" + qrv::settings_file_name, dir.file(qrv::settings_file_name)}) {
        SCOPED_TRACE(path);
        EXPECT_FALSE(qrv::save_settings_file(path, {"8", "4"}));
    }
}

// What a folder holds: names, with file contents ("<dir>" for folders).
Strings snapshot(const std::string& folder)
{
    Strings entries;
    for (const auto& entry : fs::directory_iterator(folder)) {
        const std::string content =
            entry.is_directory() ? "<dir>" : read_file(entry.path().string());
        entries.push_back(entry.path().filename().string() + "=" + content);
    }
    std::sort(entries.begin(), entries.end());
    return entries;
}

TEST(WindowStartUp, SelectionsFromTheFile)
{
    enum class Kind { none, file, folder };
    const struct {
        const char* name;
        Kind kind;
        std::string bytes;
        const char* port;
        const char* baud;
        qrv::PortSettings saved;
    } rows[] = {
        {"no file", Kind::none, "", "9", "115200", {"8", "4"}},
        {"first entries", Kind::file, "\"0\",\"5\"\r\n", "1", "230400", {"0", "5"}},
        {"last port, first baud", Kind::file, "\"23\",\"0\"\r\n", "24", "9600", {"23", "0"}},
        {"unquoted", Kind::file, "5,2", "6", "38400", {"5", "2"}},
        {"two lines", Kind::file, "5\r\n2\r\n", "6", "38400", {"5", "2"}},
        {"halves to even", Kind::file, "\"3.5\",\"2.5\"\r\n", "5", "38400", {"3.5", "2.5"}},
        {"not numbers", Kind::file, "\"abc\",\"x\"\r\n", "1", "9600", {"abc", "x"}},
        {"garbage with a comma",
         Kind::file,
         std::string("\x00\xFF,\x80", 4),
         "1",
         "9600",
         {std::string("\x00\xFF", 2), "\x80"}},
        {"further fields and lines",
         Kind::file,
         "\"5\",\"2\",\"7\"\r\n\"9\",\"9\"\r\n",
         "6",
         "38400",
         {"5", "2"}},
        // Unusable files: the defaults, as if there were none.
        {"empty", Kind::file, "", "9", "115200", {"8", "4"}},
        {"one field", Kind::file, "\"5\"\r\n", "9", "115200", {"8", "4"}},
        {"port out of range", Kind::file, "\"24\",\"0\"\r\n", "9", "115200", {"8", "4"}},
        {"baud out of range", Kind::file, "\"0\",\"6\"\r\n", "9", "115200", {"8", "4"}},
        {"negative port", Kind::file, "\"-1\",\"0\"\r\n", "9", "115200", {"8", "4"}},
        {"beyond 16 bits", Kind::file, "\"99999\",\"1\"\r\n", "9", "115200", {"8", "4"}},
        {"garbage", Kind::file, garbage, "9", "115200", {"8", "4"}},
        {"folder", Kind::folder, "", "9", "115200", {"8", "4"}},
        {"over-large", Kind::file, over_large, "9", "115200", {"8", "4"}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        TempDir dir;
        const std::string path = dir.file(qrv::settings_file_name);
        if (row.kind == Kind::file)
            write_file(path, row.bytes);
        else if (row.kind == Kind::folder)
            fs::create_directory(path);
        const Strings before = snapshot(dir.path());

        qrv::test::MessageRecorder messages;
        qrv::test::FakeClock clock;
        qrv::test::FakeSerial serial;
        Form1 form(dir.path(), {&messages, &clock, &serial});

        EXPECT_EQ(form.Combo_uart->currentText().toStdString(), row.port);
        EXPECT_EQ(form.Combo_baud->currentText().toStdString(), row.baud);
        EXPECT_EQ(form.saved_settings().saved_port_index, row.saved.saved_port_index);
        EXPECT_EQ(form.saved_settings().saved_baud_index, row.saved.saved_baud_index);
        EXPECT_TRUE(messages.messages.empty());
        EXPECT_EQ(snapshot(dir.path()), before);
    }
}

} // namespace
