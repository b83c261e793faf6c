#include "change_command.h"

#include "fakes.h"
#include "id_rules.h"
#include "oplog.h"
#include "pty.h"

#include <filesystem>
#include <gtest/gtest.h>

using namespace qrv;
using namespace qrv::test;

namespace {

const std::string entry_head = "************************************\r\n"
                               "开始设置，原ID= 17;   新ID= 1   \r\n"
                               "设置时间：2026/12/6 19:05:01\r\n"
                               "发送命令：11 6 0 A 0 1 6A 98\r\n";
const std::string entry_tail = "************************************\r\n\r\n";

struct Bench {
    // folder_name: the tool's folder inside the temporary one; it may be missing.
    explicit Bench(const std::string& folder_name = "")
        : command(window, serial, clock, messages, vars,
                  folder_name.empty() ? dir.path() : dir.file(folder_name))
    {
        window.lamp = 255;
        vars.uart_port = 9;
        serial.open_ports[9] = 115200;
    }
    Verdict press() { return command.run(); }
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
    struct Row {
        const char* name;
        Bytes answer;
        Verdict verdict;
        std::string box_tail; // after the sent line
        std::vector<std::string> messages;
    } rows[] = {
        {"echo from the new address",
         echo_from_1,
         Verdict::success,
         "响应数据：1 6 0 A 0 1 68 8\r\nModbus 新ID 设置成功  ",
         {}},
        {"echo from the old address",
         request_17_to_1,
         Verdict::mismatch,
         "响应数据：11 6 0 A 0 1 6A 98\r\n数据校验错误，设置失败，请重新设置",
         {"数据校验错误，设置失败，请重新设置"}},
        {"new address but a corrupt CRC",
         {0x01, 0x06, 0x00, 0x0A, 0x00, 0x01, 0x68, 0x09},
         Verdict::mismatch,
         "响应数据：1 6 0 A 0 1 68 9\r\n数据校验错误，设置失败，请重新设置",
         {"数据校验错误，设置失败，请重新设置"}},
        {"no answer", {}, Verdict::no_reply, "设置无响应，请重新设置", {"设置无响应，请重新设置"}},
        {"exception reply",
         {0x11, 0x86, 0x03, 0x02, 0x61},
         Verdict::no_reply,
         "设置无响应，请重新设置",
         {"设置无响应，请重新设置"}},
        {"echo with a stray byte",
         {0x01, 0x06, 0x00, 0x0A, 0x00, 0x01, 0x68, 0x08, 0x00},
         Verdict::no_reply,
         "设置无响应，请重新设置",
         {"设置无响应，请重新设置"}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        Bench b;
        b.serial.device = [&](const Bytes&) { return row.answer; };
        EXPECT_EQ(b.press(), row.verdict);
        ASSERT_EQ(b.serial.written, std::vector<Bytes>{request_17_to_1});
        EXPECT_EQ(b.clock.waits, std::vector<int>{1000});
        const std::string box = entry_head + row.box_tail + entry_tail;
        EXPECT_EQ(b.window.log, box);
        EXPECT_EQ(b.messages.messages, row.messages);
        EXPECT_EQ(b.day_log(), "\"" + box + "\"\r\n");
    }
}

TEST(ChangeCommand, RequestCarriesBothIdsAndTheEchoOfTheSameIdSucceeds)
{
    Bench b;
    b.window.old_id = "1";
    b.window.new_id = "247";
    b.serial.device = [](const Bytes& request) { return request; };
    EXPECT_EQ(b.press(), Verdict::mismatch); // the echo came from the old address
    EXPECT_EQ(b.serial.written[0], (Bytes{0x01, 0x06, 0x00, 0x0A, 0x00, 0xF7, 0xE8, 0x4E}));

    // Old ID equal to the new one: the echo is the request itself.
    b.window.old_id = b.window.new_id = "5";
    EXPECT_EQ(b.press(), Verdict::success);
}

TEST(ChangeCommand, StaleBytesFromAnEarlierAnswerAreDiscardedBeforeSending)
{
    Bench b;
    b.serial.input = request_17_to_1; // a late answer to the attempt before
    b.serial.device = [](const Bytes&) { return echo_from_1; };
    EXPECT_EQ(b.press(), Verdict::success);
    const auto flush = std::find(b.serial.calls.begin(), b.serial.calls.end(), "flush 9");
    const auto write = std::find(b.serial.calls.begin(), b.serial.calls.end(), "write 9");
    EXPECT_LT(flush, write);
}

TEST(ChangeCommand, WhatHappensDuringTheWait)
{
    {
        SCOPED_TRACE("the new-ID box is edited: judged against the ID that was sent");
        Bench b;
        b.serial.device = [](const Bytes&) { return echo_from_1; };
        b.clock.during_wait = [&] { b.window.new_id = "2"; };
        EXPECT_EQ(b.press(), Verdict::success);
        EXPECT_TRUE(b.messages.messages.empty());
    }
    {
        SCOPED_TRACE("the button is pressed again: no second attempt");
        Bench b;
        b.serial.device = [](const Bytes&) { return echo_from_1; };
        Verdict inner = Verdict::refused;
        b.clock.during_wait = [&] { inner = b.press(); };
        EXPECT_EQ(b.press(), Verdict::success);
        EXPECT_EQ(inner, Verdict::busy);
        EXPECT_EQ(b.serial.written.size(), 1U);
        EXPECT_EQ(b.day_log(), "\"" + b.window.log + "\"\r\n");
        // The next press after the attempt works again.
        EXPECT_EQ(b.press(), Verdict::success);
    }
    {
        SCOPED_TRACE("the port is closed");
        Bench b;
        b.serial.device = [](const Bytes&) { return echo_from_1; };
        b.clock.during_wait = [&] { b.serial.sio_close(9); };
        EXPECT_EQ(b.press(), Verdict::no_reply);
        EXPECT_EQ(b.messages.messages, std::vector<std::string>{"设置无响应，请重新设置"});
    }
}

TEST(ChangeCommand, RefusedAttemptSendsNothingAndFilesNothing)
{
    struct Row {
        std::int32_t lamp;
        const char* old_id;
        const char* new_id;
        const char* message;
    } rows[] = {
        {0, "17", "1", msg_open_port},
        {0, "abc", "0", msg_open_port},
        {255, "0", "248", msg_old_id},
        {255, "17", "248", msg_new_id},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.message);
        Bench b;
        b.window.lamp = row.lamp;
        b.window.old_id = row.old_id;
        b.window.new_id = row.new_id;
        b.window.log = "";
        EXPECT_EQ(b.press(), Verdict::refused);
        EXPECT_EQ(b.messages.messages, std::vector<std::string>{row.message});
        EXPECT_TRUE(b.serial.calls.empty());
        EXPECT_EQ(b.window.log, "************************************\r\n\r\n");
        EXPECT_TRUE(std::filesystem::is_empty(b.dir.path()));
    }
}

TEST(ChangeCommand, TwoAttemptsOfADayAreTwoRecordsInOneFile)
{
    Bench b;
    b.serial.device = [](const Bytes&) { return echo_from_1; };
    b.press();
    const std::string first = b.window.log;
    b.serial.device = nullptr;
    b.press();
    EXPECT_EQ(b.day_log(), "\"" + first + "\"\r\n\"" + b.window.log + "\"\r\n");

    b.clock.date = "2026-12-07";
    b.press();
    EXPECT_EQ(read_file(b.dir.file("2026-12-07.txt")), "\"" + b.window.log + "\"\r\n");
}

TEST(ChangeCommand, DayLogThatCannotBeWrittenIsReportedOnceAfterTheVerdict)
{
    Bench b;
    std::filesystem::create_symlink("/dev/full", b.dir.file("2026-12-06.txt"));
    b.serial.device = [](const Bytes&) { return Bytes{}; };
    EXPECT_EQ(b.press(), Verdict::no_reply);
    EXPECT_EQ(b.messages.messages,
              (std::vector<std::string>{"设置无响应，请重新设置",
                                        "日志文件写入失败，请检查程序目录是否可写"}));
    EXPECT_TRUE(b.window.log.ends_with(entry_tail));

    // A folder that is gone: creation fails before the send, the attempt goes on.
    Bench gone("missing");
    gone.serial.device = [](const Bytes&) { return echo_from_1; };
    EXPECT_EQ(gone.press(), Verdict::success);
    EXPECT_EQ(gone.messages.messages,
              std::vector<std::string>{"日志文件写入失败，请检查程序目录是否可写"});
}
