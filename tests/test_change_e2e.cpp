// Whole ID changes through the window, the real serial library and a real
// pseudo-terminal, whose far end timers play inside the tool's wait.
#include "fakes.h"
#include "form1.h"
#include "golden.h"
#include "pty.h"
#include "qt_clock.h"
#include "stop_signals.h"

#include <QElapsedTimer>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <csignal>
#include <ctime>
#include <gtest/gtest.h>

using namespace qrv::test;
using namespace std::chrono;

namespace {

// The real wait, with the date fixed so that file names and lines are known.
class FixedDateClock : public qrv::QtClock {
public:
    std::string date_text() override { return "2026-12-06"; }
    std::string date_time_text() override { return "2026/12/6 19:05:01"; }
};

struct Rig {
    Rig() { line.link(dir.file("ports/COM9")); }
    void open_port()
    {
        form.port_button()->click();
        ASSERT_TRUE(form.is_port_open());
    }
    // ms from now, inside the next attempt's wait or after it.
    void at(int ms, std::function<void()> action) { QTimer::singleShot(ms, &form, action); }
    // The device takes what the tool sent and answers.
    void answer_at(int ms, Bytes answer, Pty* device = nullptr)
    {
        at(ms, [=, this] {
            sent.push_back((device ? device : &line)->read(64, 0ms));
            (device ? device : &line)->write(answer);
        });
    }
    milliseconds press()
    {
        QElapsedTimer t;
        t.start();
        form.change_button()->click();
        return milliseconds(t.elapsed());
    }

    TempDir dir;
    Pty line;
    MessageRecorder messages;
    FixedDateClock clock;
    Form1 form{dir.path(), {&messages, &clock}};
    std::vector<Bytes> sent;
};

} // namespace

TEST(ChangeE2E, SuccessPutsTheExactRequestOnTheWireAndFilesTheEntry)
{
    Rig rig;
    rig.open_port();
    rig.answer_at(100, echo_from_1);
    const std::clock_t cpu = std::clock();
    const auto took = rig.press();
    EXPECT_EQ(rig.sent, std::vector<Bytes>{request_17_to_1});
    EXPECT_EQ(rig.form.log_text(), success_entry);
    EXPECT_TRUE(rig.messages.messages.empty());
    EXPECT_EQ(read_file(rig.dir.file("2026-12-06.txt")), record(success_entry));
    // Bounds that a busy machine keeps, and a short, doubled or spinning wait breaks.
    EXPECT_GE(took, 1000ms);
    EXPECT_LT(took, 2000ms);
    EXPECT_LT(double(std::clock() - cpu) / CLOCKS_PER_SEC, 0.5);
}

TEST(ChangeE2E, PortButtonDuringTheWaitChangesNothing)
{
    Rig rig;
    rig.open_port();
    rig.at(300, [&] { QTest::mouseClick(rig.form.port_button(), Qt::LeftButton); });
    rig.answer_at(500, echo_from_1);
    rig.press();
    EXPECT_TRUE(rig.form.is_port_open());
    EXPECT_EQ(rig.form.log_text(), success_entry);
    EXPECT_TRUE(rig.form.port_button()->isEnabled());
}

// Stopped by the system during the wait, or by an application that quits:
// the attempt still waits its whole second, takes what the device sent and
// is filed.
TEST(ChangeE2E, StopDuringTheWaitFinishesTheAttempt)
{
    Rig* stopped = nullptr;
    quit_on_stop_signals([&] { stopped->form.end_session(); });
    for (const int sig : {0, SIGTERM}) {
        Rig rig;
        stopped = &rig;
        Devsim devsim(rig.dir.file("ports/COM9"), {"--id", "17"});
        rig.open_port();
        rig.at(300, [sig] { sig ? void(std::raise(sig)) : QCoreApplication::exit(0); });
        EXPECT_GE(rig.press(), 1000ms);
        EXPECT_EQ(read_file(rig.dir.file("2026-12-06.txt")), record(success_entry)) << sig;
        // A finished exec() clears the quit request for what follows.
        QTimer::singleShot(0, [] { QCoreApplication::exit(0); });
        QCoreApplication::exec();
    }
}

// Pulled out during the wait, before the device answered or after: what
// came is judged first, then the port is said lost and closed.
TEST(ChangeE2E, DeviceVanishingDuringTheWaitIsSaidAndClosesThePort)
{
    const struct {
        bool answered;
        std::string log;
        Strings told;
    } rows[] = {
        {false,
         entry_17_to_1("串口已断开，未收到应答（设备可能已更改ID），请检查串口"),
         {"串口已断开，未收到应答（设备可能已更改ID），请检查串口"}},
        {true, success_entry, {"串口已断开"}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.answered);
        Rig rig;
        rig.open_port();
        if (row.answered)
            rig.answer_at(100, echo_from_1);
        rig.at(400, [&] { rig.line.close_master(); });
        EXPECT_LT(rig.press(), 2000ms);
        EXPECT_FALSE(rig.form.is_port_open());
        EXPECT_EQ(rig.form.log_text(), row.log);
        EXPECT_EQ(read_file(rig.dir.file("2026-12-06.txt")), record(row.log));
        EXPECT_EQ(rig.messages.messages, row.told);
    }
}

TEST(ChangeE2E, AnAdapterPulledAndPluggedBackInGoesOn)
{
    Rig rig;
    rig.open_port();
    rig.line.close_master();
    rig.form.change_button()->click();
    EXPECT_FALSE(rig.form.is_port_open());

    // The technician plugs in another device, opens the port and goes on.
    Pty replug;
    replug.link(rig.dir.file("ports/COM9"));
    rig.open_port();
    rig.answer_at(100, echo_from_1, &replug);
    rig.press();
    EXPECT_EQ(rig.sent, std::vector<Bytes>{request_17_to_1});
    EXPECT_EQ(rig.form.log_text(), success_entry);

    // Pulled out while the port stands idle: found, closed and said within 2 s.
    QElapsedTimer idle;
    idle.start();
    replug.close_master();
    EXPECT_TRUE(QTest::qWaitFor([&] { return !rig.form.is_port_open(); }, 5000));
    EXPECT_LT(idle.elapsed(), 2000);
    EXPECT_EQ(rig.messages.messages.back(), said::port_gone);
    EXPECT_EQ(rig.form.port_button()->text(), "打开串口");
}

// The virtual device refusing the change, or taking it and echoing from its
// old address as plain Modbus devices do: said for what it did.
TEST(ChangeE2E, RefusalAndMovedDeviceAreSaidForWhatTheyAre)
{
    const struct {
        std::vector<std::string> options;
        std::string outcome; // after the sent line
    } rows[] = {
        {{"--id", "17", "--refuse", "3"},
         "响应数据：11 86 3 3 A4\r\n设备拒绝更改：异常码 03（非法数据值）"},
        {{"--id", "17", "--reply-from-old"},
         "响应数据：11 6 0 A 0 1 6A 98\r\n设备已更改ID，已在ID 1 读回确认（更改的应答来自原地址）"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.options.back());
        Rig rig;
        Devsim devsim(rig.dir.file("ports/COM9"), row.options);
        rig.open_port();
        rig.press();
        EXPECT_EQ(rig.form.log_text(), entry_17_to_1(row.outcome));
        EXPECT_EQ(rig.messages.messages, Strings{row.outcome.substr(row.outcome.find('\n') + 1)});
    }
}
