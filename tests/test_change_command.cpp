// The change button's command as the window's controller runs it on the
// fakes: one attempt, one record, whatever the line and the user do.
#include "form_controller.h"

#include "fakes.h"
#include "files.h"
#include "golden.h"

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

// The window's logic on the fakes with port 9 opened by its button, in a
// real folder. At each message: whether the record was on disk and the
// window still open.
struct Bench {
    explicit Bench(const std::string& folder = "")
        : form(window, serial, clock, messages, folder.empty() ? dir.path() : folder,
               [this] { closed = true; })
    {
        serial.clock = &clock;
        form.on_load();
        form.on_port_clicked();
        window.log = "typed by the user";
        serial.calls.clear();
        messages.messages.clear();
        messages.on_message = [this] { on_disk.push_back(day_log()); };
    }
    void answer(const Bytes& bytes)
    {
        serial.device = [bytes](const Bytes&) { return bytes; };
        form.on_change_clicked();
    }
    std::string day_log() { return read_file(dir.file("2026-12-06.txt")); }

    TempDir dir;
    FakeWindow window;
    FakeSerial serial;
    FakeClock clock;
    MessageRecorder messages;
    bool closed = false;
    Strings on_disk;
    FormController form;
};

} // namespace

// What the box shows and the day log keeps, what the technician is told,
// what went out and what becomes of the port, for each thing the line and a
// device can do. Without a success the device is looked for at its new ID.
TEST(ChangeCommand, VerdictFollowsWhatTheLineDoes)
{
    const std::string ok = "Modbus 新ID 设置成功  ", bad = "数据校验错误，设置失败，请重新设置",
                      none = "设置无响应，请重新设置", moved = "设备已更改ID，已在ID 1 读回确认（",
                      lost = "串口已断开，未收到应答（设备可能已更改ID），请检查串口";
    using Setup = std::function<void(Bench&)>;
    const Setup as_is = [](Bench&) {};
    const Setup pulled = [](Bench& b) {
        b.clock.during_wait = [&b] {
            b.serial.gone = true;
            b.form.on_port_check();
        };
    };
    const Setup pulled_first = [&](Bench& b) {
        pulled(b);
        b.serial.latency_ms = 600; // after the pull, halfway through the second
    };
    const Bytes read_at_1 = from_hex("01 03 00 0A 00 01 A4 08");
    const struct {
        Setup setup;
        const char* answer; // to the change, in hex
        bool at_1;          // the device answers at the new ID afterwards
        std::string reply_line, result;
        int sent; // 1: the change; 2: and the read at the new ID
        bool open_after, then_lost;
    } rows[] = {
        // clang-format off
        {as_is, "01 06 00 0A 00 01 68 08", true, "1 6 0 A 0 1 68 8", ok, 1, true, false},
        {[](Bench& b) { b.serial.input = request_17_to_1; }, "01 06 00 0A 00 01 68 08", false, "1 6 0 A 0 1 68 8", ok, 1, true, false}, // a late answer, dropped
        // From the old address, as a plain Modbus device answers: moved or not.
        {as_is, "11 06 00 0A 00 01 6A 98", false, "11 6 0 A 0 1 6A 98", bad, 2, true, false},
        {as_is, "11 06 00 0A 00 01 6A 98", true, "11 6 0 A 0 1 6A 98", moved + "更改的应答来自原地址）", 2, true, false},
        {as_is, "01 06 00 0A 00 01 68 09", false, "1 6 0 A 0 1 68 9", bad, 2, true, false},
        {as_is, "", false, "", none, 2, true, false},
        {as_is, "", true, "", moved + "未收到更改的应答）", 2, true, false},
        // Exceptions from the old address: a refusal, or taken and at work.
        {as_is, "11 86 03 03 A4", true, "11 86 3 3 A4", "设备拒绝更改：异常码 03（非法数据值）", 1, true, false},
        {as_is, "11 86 05 83 A6", true, "11 86 5 83 A6", moved + "更改的应答为异常码 05（确认））", 2, true, false},
        {as_is, "11 86 05 83 A6", false, "11 86 5 83 A6", "设备应答了更改，但在ID 1 读回：无应答，新ID未确认", 2, true, false},
        {as_is, "11 86 06 C3 A7", false, "11 86 6 C3 A7", "设备拒绝更改：异常码 06（从站设备忙），在ID 1 读回：无应答，新ID未确认", 2, true, false},
        // Whatever else came is in the record, and is no answer.
        {as_is, "11 86 03 02 61", false, "11 86 3 2 61", none, 2, true, false}, // its CRC is ID 1's
        {as_is, "01 06 00 0A 00 01 68", false, "1 6 0 A 0 1 68", none, 2, true, false},
        {as_is, "01 06 00 0A 00 01 68 08 00", true, "1 6 0 A 0 1 68 8 0", moved + "未收到更改的应答）", 2, true, false},
        // The line fails: said, not taken for silence, and not waited for when nothing went out.
        {[](Bench& b) { b.serial.write_status = sio_write_failed; }, "01 06 00 0A 00 01 68 08", true, "", "命令未能发送，请检查串口", 0, true, false},
        {[](Bench& b) { b.serial.gone = true; }, "01 06 00 0A 00 01 68 08", true, "", "串口已断开，命令未能发送，请检查串口", 0, false, false},
        {pulled_first, "01 06 00 0A 00 01 68 08", true, "", lost, 1, false, false},
        // Pulled after the answer came: judged on it, then the port is said lost.
        {pulled, "01 06 00 0A 00 01 68 08", true, "1 6 0 A 0 1 68 8", ok, 1, false, true},
        {pulled, "11 06 00 0A 00 01 6A 98", true, "11 6 0 A 0 1 6A 98", bad, 1, false, true},
        // The port button and the box during the wait change nothing of the attempt.
        {[](Bench& b) { b.clock.during_wait = [&b] {
             EXPECT_FALSE(b.window.port_button_enabled);
             b.form.on_port_clicked();
             b.window.log += "note";
         }; }, "01 06 00 0A 00 01 68 08", true, "1 6 0 A 0 1 68 8", ok + "note", 1, true, false},
        // clang-format on
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.result + " " + row.answer);
        Bench b;
        row.setup(b);
        b.serial.device = [&](const Bytes& frame) {
            return frame[1] == 0x06            ? from_hex(row.answer)
                   : row.at_1 && frame[0] == 1 ? from_hex("01 03 02 00 01 79 84")
                                               : Bytes{};
        };
        b.form.on_change_clicked();
        const bool typed = row.result.ends_with("note");
        const std::string result = typed ? ok : row.result;
        const std::string outcome =
            (row.reply_line.empty() ? "" : "响应数据：" + row.reply_line + "\r\n") + result;
        EXPECT_EQ(b.window.log, entry_17_to_1((typed ? "note" : "") + outcome));
        EXPECT_EQ(b.day_log(), record(entry_17_to_1(outcome)));
        const std::vector<Bytes> sent{request_17_to_1, read_at_1};
        EXPECT_EQ(b.serial.written, std::vector<Bytes>(sent.begin(), sent.begin() + row.sent));
        EXPECT_EQ(b.clock.waits, row.sent ? std::vector<int>{1000} : std::vector<int>{});
        Strings told = result == ok ? Strings{} : Strings{result};
        if (row.then_lost)
            told.push_back(said::port_gone);
        EXPECT_EQ(b.messages.messages, told);
        EXPECT_EQ(b.on_disk, Strings(told.size(), b.day_log())); // filed before it is told
        EXPECT_EQ(b.window.port_open && !b.window.lists_enabled, row.open_after);
        EXPECT_EQ(b.serial.open_ports.count(9) > 0, row.open_after);
        EXPECT_TRUE(b.window.port_button_enabled);
    }
}

// A second press, a close of the window and the end of the session, each
// during the wait: one attempt, one record.
TEST(ChangeCommand, WhatHappensDuringTheWait)
{
    Bench b;
    // Judged against the ID that was sent, not the one the box now holds.
    b.clock.during_wait = [&] {
        b.window.new_id = "2";
        b.form.on_change_clicked();
    };
    b.answer(echo_from_1);
    EXPECT_EQ(b.serial.written.size(), 1U);

    // Closed during the wait: the attempt ends, is filed and told, then the window closes.
    b.window.new_id = "1";
    b.clock.during_wait = [&] { EXPECT_FALSE(b.form.close_requested()); };
    b.messages.on_message = [&] { b.on_disk.push_back(b.closed ? "closed" : b.day_log()); };
    b.answer({});
    EXPECT_TRUE(b.closed);
    EXPECT_EQ(b.on_disk, Strings{day_log_of({success_entry, no_reply_entry})});

    // A log-off begins during the wait, and may be cancelled: the attempt is
    // filed then, and told all the same.
    b.closed = false;
    b.clock.during_wait = [&] {
        b.form.session_ending();
        b.on_disk.push_back(b.day_log());
    };
    b.answer({});
    const std::string three = day_log_of({success_entry, no_reply_entry, no_reply_entry});
    EXPECT_EQ(b.on_disk, (Strings{day_log_of({success_entry, no_reply_entry}), three, three}));

    // The session ends during the wait: filed, and no message from then on.
    b.clock.during_wait = [&] { b.form.end_session(); };
    b.answer({});
    b.clock.during_wait = nullptr;
    b.answer({});
    EXPECT_EQ(b.day_log(), day_log_of({success_entry, no_reply_entry, no_reply_entry,
                                       no_reply_entry, no_reply_entry}));
    EXPECT_EQ(b.messages.messages, Strings(2, said::no_reply));
    EXPECT_EQ(b.clock.waits, std::vector<int>(5, 1000));
    EXPECT_TRUE(b.form.close_requested());
    EXPECT_FALSE(b.closed);
}

// A box changed during the wait is tidied at once; its message waits for
// the verdict and its record, and is shown after them for a box still wrong.
TEST(ChangeCommand, IdBoxDuringTheWaitIsJudgedAfterTheVerdict)
{
    const struct {
        Strings typed; // into the new-ID box, one text after another
        std::string shown;
        bool told; // its message after the verdict
    } rows[] = {
        {{"2150"}, "2150", true},
        {{"247.5"}, "248", true},
        {{"005"}, "5", false},
        {{"0", "07"}, "7", false}, // put right before the verdict
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.typed.back());
        Bench b;
        b.clock.during_wait = [&] {
            for (const std::string& text : row.typed) {
                b.window.new_id = text;
                b.form.on_new_id_changed();
            }
        };
        b.answer({});
        EXPECT_EQ(b.window.new_id, row.shown);
        const Strings told =
            row.told ? Strings{said::no_reply, said::new_id} : Strings{said::no_reply};
        EXPECT_EQ(b.messages.messages, told);
        EXPECT_EQ(b.on_disk, Strings(told.size(), record(no_reply_entry)));
    }
}

// An adapter pulled out while nothing runs: the next check closes the port
// and says so; under a message on screen it waits.
TEST(ChangeCommand, PulledAdapterIsFoundWhileIdle)
{
    Bench b;
    b.form.on_port_check();
    b.serial.gone = true;
    b.window.new_id = "0";
    b.messages.on_message = [&] { b.form.on_port_check(); };
    b.form.on_change_clicked();
    b.form.on_port_check();
    b.form.on_port_check(); // closed: nothing to ask
    EXPECT_EQ(b.serial.calls, (Strings{"iqueue 9", "iqueue 9", "close 9"}));
    EXPECT_EQ(b.messages.messages, (Strings{said::new_id, said::port_gone}));
    EXPECT_FALSE(b.window.port_open);
    EXPECT_EQ(b.window.caption, "打开串口");
    EXPECT_TRUE(b.window.lists_enabled);
}

TEST(ChangeCommand, RefusedAttemptSendsNothingAndFilesNothing)
{
    Bench b;
    b.window.port_open = false;
    b.answer(echo_from_1);
    EXPECT_EQ(b.messages.messages, Strings{"请打开串口"});
    EXPECT_TRUE(b.serial.calls.empty());
    EXPECT_EQ(b.window.log, "typed by the user************************************\r\n\r\n");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(b.dir.path()), {}),
              1); // parameter.txt
}

TEST(ChangeCommand, EachAttemptIsARecordInTheFileOfItsDay)
{
    Bench b;
    b.answer(echo_from_1);
    b.answer({});
    EXPECT_EQ(b.day_log(), day_log_of({success_entry, no_reply_entry}));
    b.clock.date = "2026-12-07";
    b.answer({});
    EXPECT_EQ(read_file(b.dir.file("2026-12-07.txt")), record(no_reply_entry));
}

TEST(ChangeCommand, DayLogThatCannotBeWrittenIsReportedOnceAfterTheVerdict)
{
    Bench b; // a folder where the file should be: no record goes in
    std::filesystem::create_directory(b.dir.file("2026-12-06.txt"));
    b.answer({});
    EXPECT_EQ(b.messages.messages, (Strings{"设置无响应，请重新设置", log_failed}));
    EXPECT_EQ(b.window.log, no_reply_entry);

    // No file can be made before the send; the attempt goes on all the same.
    TempDir dir;
    const auto goes_on = [](const std::string& folder) {
        Bench b(folder);
        b.answer(echo_from_1);
        return b.serial.written.size() == 1 && b.messages.messages == Strings{log_failed} &&
               b.window.log == success_entry;
    };
    EXPECT_TRUE(goes_on(dir.file("gone")));
#ifndef _WIN32
    ::chmod(dir.path().c_str(), 0555);
    EXPECT_TRUE(as_unprivileged([&] { return goes_on(dir.path()); }));
#endif
    EXPECT_TRUE(std::filesystem::is_empty(dir.path()));
}
