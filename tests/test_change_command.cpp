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
// and what becomes of the port, for each thing the line can do.
TEST(ChangeCommand, VerdictFollowsWhatTheLineDoes)
{
    const std::string ok = "Modbus 新ID 设置成功  ", bad = "数据校验错误，设置失败，请重新设置",
                      none = "设置无响应，请重新设置";
    using Setup = std::function<void(Bench&)>;
    const Setup as_is = [](Bench&) {};
    Bytes long_echo = echo_from_1;
    long_echo.push_back(0);
    const struct {
        Setup setup;
        Bytes answer;
        std::string reply_line, result, typed; // typed: into the box during the wait
        bool waited, open_after;
    } rows[] = {
        // clang-format off
        {as_is, echo_from_1, "1 6 0 A 0 1 68 8", ok, "", true, true},
        {[](Bench& b) { b.serial.input = request_17_to_1; }, echo_from_1, "1 6 0 A 0 1 68 8", ok, "", true, true}, // a late answer, dropped
        {as_is, request_17_to_1, "11 6 0 A 0 1 6A 98", bad, "", true, true}, // from the old address
        {as_is, {0x01, 0x06, 0x00, 0x0A, 0x00, 0x01, 0x68, 0x09}, "1 6 0 A 0 1 68 9", bad, "", true, true},
        {as_is, {}, "", none, "", true, true},
        {as_is, {0x11, 0x86, 0x03, 0x02, 0x61}, "", none, "", true, true},
        {as_is, long_echo, "", none, "", true, true},
        // The line fails: said, not taken for silence, and not waited for when nothing went out.
        {[](Bench& b) { b.serial.write_status = sio_write_failed; }, echo_from_1, "", "命令未能发送，请检查串口", "", false, true},
        {[](Bench& b) { b.serial.gone = true; }, echo_from_1, "", "串口已断开，命令未能发送，请检查串口", "", false, false},
        {[](Bench& b) { b.clock.during_wait = [&b] { b.serial.gone = true; b.form.on_port_check(); }; }, echo_from_1, "",
         "串口已断开，未收到应答（设备可能已更改ID），请检查串口", "", true, false},
        // The port button and the box during the wait change nothing of the attempt.
        {[](Bench& b) { b.clock.during_wait = [&b] {
             EXPECT_FALSE(b.window.port_button_enabled);
             b.form.on_port_clicked();
             b.window.log += "note";
         }; }, echo_from_1, "1 6 0 A 0 1 68 8", ok, "note", true, true},
        // clang-format on
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.result + row.typed);
        Bench b;
        row.setup(b);
        b.answer(row.answer);
        const std::string outcome =
            (row.reply_line.empty() ? "" : "响应数据：" + row.reply_line + "\r\n") + row.result;
        EXPECT_EQ(b.window.log, entry_17_to_1(row.typed + outcome));
        EXPECT_EQ(b.day_log(), record(entry_17_to_1(outcome)));
        EXPECT_EQ(b.serial.written,
                  row.waited ? std::vector<Bytes>{request_17_to_1} : std::vector<Bytes>{});
        EXPECT_EQ(b.clock.waits, row.waited ? std::vector<int>{1000} : std::vector<int>{});
        const Strings told = row.result == ok ? Strings{} : Strings{row.result};
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
