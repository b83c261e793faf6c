// The window's start-up on the fake window: the working state, and the
// port and speed of the last open from parameter.txt, whatever that holds.
#include "start_up.h"
#include "tool_folder.h"

#include "fakes.h"
#include "files.h"

#include <algorithm>
#include <filesystem>
#include <gtest/gtest.h>
#include <map>

using namespace qrv;
using namespace qrv::test;
namespace fs = std::filesystem;

namespace {

// Names and contents of what a folder holds.
Strings snapshot(const std::string& folder)
{
    Strings entries;
    for (const auto& e : fs::directory_iterator(folder))
        entries.push_back(e.path().string() + "=" +
                          (e.is_symlink()        ? fs::read_symlink(e).string()
                           : e.is_regular_file() ? read_file(e.path().string())
                                                 : "?"));
    std::sort(entries.begin(), entries.end());
    return entries;
}

} // namespace

TEST(StartUp, SelectsTheSavedEntriesOrTheDefaults)
{
    const std::string nines(20, '9'), beyond_double = "1" + std::string(400, '0');
    const struct {
        std::string file; // its bytes; "none", "folder", or "->" and where a link points
        int port, baud;   // the list indexes selected
        PortSettings saved;
    } rows[] = {
        // clang-format off
        {"\"0\",\"5\"\r\n", 0, 5, {"0", "5"}}, {"\"23\",\"0\"\r\n", 23, 0, {"23", "0"}},
        {"5,2", 5, 2, {"5", "2"}}, {"5\r\n2\r\n", 5, 2, {"5", "2"}},
        {"\"3.5\",\"2.5\"", 4, 2, {"3.5", "2.5"}}, {"\"abc\",\"x\"", 0, 0, {"abc", "x"}},
        {"\"5\",\"2\",\"7\"\r\n\"9\",\"9\"\r\n", 5, 2, {"5", "2"}},
        // As Notepad saves it: UTF-8 with a byte order mark, or "Unicode".
        {"\xEF\xBB\xBF\"8\",\"2\"\r\n", 8, 2, {"8", "2"}},
        {std::string("\xFF\xFE\"\0" "8\0\"\0,\0\"\0" "2\0\"\0", 16), 8, 2, {"8", "2"}},
        // Anything else selects the defaults, as no file does.
        {"none", 8, 4, {"8", "4"}}, {"", 8, 4, {"8", "4"}},
        {"\"5\"\r\n", 8, 4, {"8", "4"}}, {"\"24\",\"0\"", 8, 4, {"8", "4"}},
        {"\"0\",\"6\"", 8, 4, {"8", "4"}}, {"\"-1\",\"0\"", 8, 4, {"8", "4"}},
        {"\"99999\",\"1\"", 8, 4, {"8", "4"}}, {nines + ",-" + nines, 8, 4, {"8", "4"}},
        {"\"2\"," + beyond_double, 8, 4, {"8", "4"}},
        {std::string("\x00\xFF\x80\xFE\x01\x7F\xC3", 7), 8, 4, {"8", "4"}},
        {"folder", 8, 4, {"8", "4"}}, {"->/nonexistent/parameter.txt", 8, 4, {"8", "4"}},
        {"->/", 8, 4, {"8", "4"}}, {"->/dev/zero", 8, 4, {"8", "4"}},
        // clang-format on
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.file);
        TempDir dir;
        const std::string path = dir.file("parameter.txt");
        if (row.file == "folder")
            fs::create_directory(path);
        else if (row.file.starts_with("->")) {
            std::error_code no_links; // Windows lets only some users make them
            fs::create_symlink(row.file.substr(2), path, no_links);
            if (no_links)
                continue;
        } else if (row.file != "none")
            write_file(path, row.file);
        const Strings before = snapshot(dir.path());
        FakeWindow window;
        window.port_open = true;
        window.log = "Text3";
        const PortSettings saved = Form_Load(window, dir.path());
        EXPECT_EQ(std::pair(window.port, window.baud), std::pair(row.port, row.baud));
        EXPECT_EQ(std::pair(saved.saved_port_index, saved.saved_baud_index),
                  std::pair(row.saved.saved_port_index, row.saved.saved_baud_index));
        EXPECT_FALSE(window.port_open);
        EXPECT_EQ(window.caption + window.old_id + "," + window.new_id + window.log,
                  "打开串口17,1");
        EXPECT_EQ(snapshot(dir.path()), before); // start-up writes nothing
    }
}

// Where the day logs, parameter.txt and ports/ go: beside a program the user
// may write to, in the user's data folder once it is installed.
TEST(StartUp, KeepsItsFilesBesideTheProgramOrInTheUsersFolder)
{
    const struct {
        std::string program;
        bool writable;
        std::map<std::string, std::string> environment;
        std::string folder;
    } rows[] = {
        // clang-format off
        {"/home/u/qrv", true, {{"HOME", "/home/u"}}, "/home/u/qrv"},
        {"/home/u/qrv", false, {{"HOME", "/home/u"}}, "/home/u/.local/share/qrv-idtool"},
        {"/home/u/qrv", false, {{"HOME", "/home/u"}, {"XDG_DATA_HOME", "/data/u"}}, "/data/u/qrv-idtool"},
        // Root may write anywhere: an installed program still keeps out of the system's folders.
        {"/usr/bin", true, {{"HOME", "/root"}}, "/root/.local/share/qrv-idtool"},
        {"/usr/local/bin", true, {{"HOME", "/root"}}, "/root/.local/share/qrv-idtool"},
        {"/opt/qrv/bin", true, {{"HOME", "/root"}}, "/root/.local/share/qrv-idtool"},
        {"/usrdata/qrv", true, {{"HOME", "/root"}}, "/usrdata/qrv"},
        // A relative XDG_DATA_HOME is to be ignored; without a HOME either, the program's folder.
        {"/usr/bin", false, {{"HOME", "/home/u"}, {"XDG_DATA_HOME", "data"}}, "/home/u/.local/share/qrv-idtool"},
        {"/usr/bin", false, {{"XDG_DATA_HOME", "data"}}, "/usr/bin"},
        // clang-format on
    };
    for (const auto& row : rows) {
        const FolderProbe probe{[&row](const std::string& folder) {
                                    EXPECT_EQ(folder, row.program);
                                    return row.writable;
                                },
                                [&row](const char* name) {
                                    const auto it = row.environment.find(name);
                                    return it == row.environment.end() ? "" : it->second;
                                }};
        EXPECT_EQ(choose_tool_folder(row.program, probe), row.folder)
            << row.program << " " << row.writable;
    }

    // On the file system: a folder of the test's own, writable, is kept as it
    // is; on Linux the user's folder is made, with its parents, for the user
    // alone.
    TempDir dir;
    EXPECT_EQ(tool_folder(dir.path()), dir.path());
    EXPECT_EQ(snapshot(dir.path()), Strings{});
#ifndef _WIN32
    const FolderProbe read_only{[](const std::string&) { return false; },
                                [&dir](const char* name) {
                                    return std::string(name) == "XDG_DATA_HOME" ? dir.file("a/b")
                                                                                : "";
                                }};
    EXPECT_EQ(tool_folder(dir.path(), read_only), dir.file("a/b/qrv-idtool"));
    EXPECT_TRUE(fs::is_directory(dir.file("a/b/qrv-idtool")));
    for (const char* made : {"a", "a/b", "a/b/qrv-idtool"})
        EXPECT_EQ(fs::status(dir.file(made)).permissions(), fs::perms::owner_all) << made;
#endif
}
