#include "change_command.h"
#include "checked_change.h"

#include "fakes.h"
#include "files.h"

#ifndef _WIN32
#include "pty.h"
#include <sys/stat.h>
#endif

#include <filesystem>
#include <gtest/gtest.h>

using namespace qrv;
using namespace qrv::test;

namespace {

const std::string log_failed = "日志文件写入失败，请检查程序目录是否可写";

// The change command on the fakes with port 9 open, in a real folder.
struct Bench {
    explicit Bench(const std::string& folder = "")
        : command(window, serial, clock, messages, vars, folder.empty() ? dir.path() : folder)
    {
        window.lamp = 255;
        window.log = "typed by the user";
        vars.uart_port = 9;
        serial.open_ports[9] = 115200;
    }
    Verdict answer(const Bytes& bytes)
    {
        serial.device = [bytes](const Bytes&) { return bytes; };
        return command.run();
    }
    std::string day_log() { return read_file(dir.file("2026-12-06.txt")); }

    TempDir dir;
    FakeWindow window;
    FakeSerial serial;
    FakeClock clock;
    MessageRecorder messages;
    WindowVars vars;
    ChangeCommand command;
};

} // namespace

TEST(ChangeCommand, VerdictFollowsWhatTheDeviceAnswers)
{
    const std::string ok = "Modbus 新ID 设置成功  ", bad = "数据校验错误，设置失败，请重新设置",
                      none = "设置无响应，请重新设置";
    Bytes long_echo = echo_from_1;
    long_echo.push_back(0);
    const struct {
        Bytes stale, answer;
        Verdict verdict;
        std::string reply_line, result;
    } rows[] = {
        // clang-format off
        {{}, echo_from_1, Verdict::success, "1 6 0 A 0 1 68 8", ok},
        {request_17_to_1, echo_from_1, Verdict::success, "1 6 0 A 0 1 68 8", ok}, // a late answer, dropped
        {{}, request_17_to_1, Verdict::mismatch, "11 6 0 A 0 1 6A 98", bad}, // from the old address
        {{}, {0x01, 0x06, 0x00, 0x0A, 0x00, 0x01, 0x68, 0x09}, Verdict::mismatch, "1 6 0 A 0 1 68 9", bad},
        {{}, {}, Verdict::no_reply, "", none},
        {{}, {0x11, 0x86, 0x03, 0x02, 0x61}, Verdict::no_reply, "", none},
        {{}, long_echo, Verdict::no_reply, "", none},
        // clang-format on
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.reply_line + row.result);
        Bench b;
        b.serial.input = row.stale;
        EXPECT_EQ(b.answer(row.answer), row.verdict);
        EXPECT_EQ(b.serial.written, std::vector<Bytes>{request_17_to_1});
        EXPECT_EQ(b.clock.waits, std::vector<int>{1000});
        EXPECT_EQ(
            b.window.log,
            entry_17_to_1((row.reply_line.empty() ? "" : "响应数据：" + row.reply_line + "\r\n") +
                          row.result));
        EXPECT_EQ(b.messages.messages, row.result == ok ? Strings{} : Strings{row.result});
        EXPECT_EQ(b.day_log(), record(b.window.log));
    }
}

TEST(ChangeCommand, WhatHappensDuringTheWait)
{
    Bench b;
    Verdict inner = Verdict::refused;
    // Judged against the ID that was sent, not the one the box now holds.
    b.clock.during_wait = [&] { b.window.new_id = "2"; };
    EXPECT_EQ(b.answer(echo_from_1), Verdict::success);
    b.clock.during_wait = [&] { inner = b.command.run(); };
    b.window.new_id = "1";
    EXPECT_EQ(b.answer(echo_from_1), Verdict::success);
    EXPECT_EQ(inner, Verdict::busy);
    b.clock.during_wait = nullptr;
    EXPECT_EQ(b.answer(echo_from_1), Verdict::success);
    EXPECT_EQ(b.serial.written.size(), 3U);
    EXPECT_TRUE(b.messages.messages.empty());
    EXPECT_EQ(b.day_log(), record(success_entry) + record(success_entry) + record(success_entry));
}

TEST(ChangeCommand, RefusedAttemptSendsNothingAndFilesNothing)
{
    Bench b;
    b.window.lamp = 0;
    EXPECT_EQ(b.answer(echo_from_1), Verdict::refused);
    EXPECT_EQ(b.messages.messages.size(), 1U);
    EXPECT_TRUE(b.serial.calls.empty());
    EXPECT_EQ(b.window.log, "typed by the user************************************\r\n\r\n");
    EXPECT_TRUE(std::filesystem::is_empty(b.dir.path()));
}

TEST(ChangeCommand, EachAttemptIsARecordInTheFileOfItsDay)
{
    Bench b;
    b.answer(echo_from_1);
    b.answer({});
    EXPECT_EQ(b.day_log(), record(success_entry) + record(no_reply_entry));
    b.clock.date = "2026-12-07";
    b.answer({});
    EXPECT_EQ(read_file(b.dir.file("2026-12-07.txt")), record(no_reply_entry));
}

TEST(ChangeCommand, DayLogThatCannotBeWrittenIsReportedOnceAfterTheVerdict)
{
    Bench b; // a folder where the file should be: no record goes in
    std::filesystem::create_directory(b.dir.file("2026-12-06.txt"));
    EXPECT_EQ(b.answer({}), Verdict::no_reply);
    EXPECT_EQ(b.messages.messages, (Strings{"设置无响应，请重新设置", log_failed}));
    EXPECT_EQ(b.window.log, no_reply_entry);

    // No file can be made before the send; the attempt goes on all the same.
    TempDir dir;
    const auto goes_on = [](const std::string& folder) {
        Bench b(folder);
        return b.answer(echo_from_1) == Verdict::success &&
               b.messages.messages == Strings{log_failed} && b.window.log == success_entry;
    };
    EXPECT_TRUE(goes_on(dir.file("gone")));
#ifndef _WIN32
    ::chmod(dir.path().c_str(), 0555);
    EXPECT_TRUE(as_unprivileged([&] { return goes_on(dir.path()); }));
#endif
    EXPECT_TRUE(std::filesystem::is_empty(dir.path()));
}

// A read takes its answer whole however the line hands it over, late ones
// too while the line is guarded, and never an answer to another request.
TEST(Read, TakesItsOwnAnswerWhole)
{
    using K = ReadReply::Kind;
    const struct {
        int latency;
        std::size_t chunk;
        bool probe;
        K kind;
        bool late;
    } rows[] = {
        {5, 0, false, K::value, false},  {5, 3, false, K::value, false}, // in pieces
        {300, 0, false, K::value, true}, {300, 0, true, K::none, false}, // a scan's probe
        {300, 2, true, K::none, false},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(std::to_string(row.latency) + " " + std::to_string(row.chunk));
        FakeSerial serial;
        FakeClock clock;
        serial.clock = &clock;
        serial.open_ports[9] = 115200;
        serial.latency_ms = row.latency;
        serial.chunk = row.chunk;
        serial.device = [](const Bytes& f) {
            return f[0] == 17 ? from_hex("11 03 02 00 11 B9 8B") : Bytes{};
        };
        serial.input = request_17_to_1; // left from before: dropped
        OpenPort port{serial, 9, clock, 115200, line_guard_ms};
        const ReadReply read = exchange_read(port, 17, 101, row.probe);
        EXPECT_EQ(std::tuple(read.kind, read.late), std::tuple(row.kind, row.late));
        EXPECT_EQ(read.value, row.kind == K::value ? 17 : 0);
        // What came late is dropped before the next request goes out.
        EXPECT_EQ(exchange_read(port, 5, 101).kind, K::none);
    }
}
