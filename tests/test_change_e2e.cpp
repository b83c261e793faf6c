// Whole ID changes through the window, the real serial library and a real
// pseudo-terminal, with a device on the other end.
#include "line_rig.h"
#include "qt_app.h"

#include <QElapsedTimer>
#include <QLineEdit>
#include <QPushButton>
#include <filesystem>
#include <gtest/gtest.h>
#include <thread>

using namespace qrv;
using namespace qrv::test;
using namespace std::chrono;

TEST(ChangeE2E, SuccessPutsTheExactRequestOnTheWireAndFilesTheEntry)
{
    Rig rig;
    LineDevice device(rig.line, always(echo_from_1));
    rig.open_port();
    EXPECT_FALSE(std::filesystem::exists(rig.dir.file("2026-12-06.txt")));
    const auto took = rig.press();
    EXPECT_EQ(device.requests(), std::vector<Bytes>{request_17_to_1});
    EXPECT_EQ(rig.form().log_text(), success_entry);
    EXPECT_TRUE(rig.messages.messages.empty());
    // The first attempt of the date made the file, which holds just its record.
    EXPECT_EQ(rig.day_log(), "\"" + success_entry + "\"\r\n");
    EXPECT_GE(took, milliseconds(1000));
    EXPECT_LT(took, milliseconds(1500));
}

TEST(ChangeE2E, WrongOrMissingAnswersAreFailures)
{
    struct Row {
        const char* name;
        LineDevice::Behaviour device;
        const char* verdict;
    } rows[] = {
        {"answer from the old address", always(request_17_to_1),
         "数据校验错误，设置失败，请重新设置"},
        {"corrupt CRC", always({0x01, 0x06, 0x00, 0x0A, 0x00, 0x01, 0x68, 0x09}),
         "数据校验错误，设置失败，请重新设置"},
        {"no device", always({}), "设置无响应，请重新设置"},
        {"exception reply", always({0x11, 0x86, 0x03, 0x02, 0x61}), "设置无响应，请重新设置"},
    };
    for (auto& row : rows) {
        SCOPED_TRACE(row.name);
        Rig rig;
        LineDevice device(rig.line, row.device);
        rig.open_port();
        const auto took = rig.press();
        EXPECT_EQ(rig.messages.messages, std::vector<std::string>{row.verdict});
        const std::string log = rig.form().log_text();
        EXPECT_TRUE(log.ends_with(std::string(row.verdict) +
                                  "************************************\r\n\r\n"));
        EXPECT_EQ(rig.day_log(), "\"" + log + "\"\r\n");
        EXPECT_GE(took, milliseconds(1000));
        EXPECT_LT(took, milliseconds(1500));
    }
}

TEST(ChangeE2E, LateAnswerDoesNotSpoilTheNextAttempt)
{
    Rig rig;
    LineDevice device(rig.line, [](const Bytes&, int index) {
        return LineDevice::Answer{echo_from_1, milliseconds(index == 0 ? 1300 : 0)};
    });
    rig.open_port();
    rig.press();
    EXPECT_EQ(rig.form().log_text(), no_reply_entry);
    // Let the late answer arrive and sit in the queue.
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < 600)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    rig.press();
    EXPECT_EQ(rig.form().log_text(), success_entry);
    EXPECT_EQ(rig.messages.messages, std::vector<std::string>{"设置无响应，请重新设置"});
    EXPECT_EQ(rig.day_log(), "\"" + no_reply_entry + "\"\r\n\"" + success_entry + "\"\r\n");
}

TEST(ChangeE2E, EditOfTheNewIdDuringTheWaitDoesNotChangeTheVerdict)
{
    Rig rig;
    LineDevice device(rig.line, always(echo_from_1));
    rig.open_port();
    rig.during_wait(300, [&] { rig.form().Text_new->setText("2"); });
    rig.press();
    EXPECT_EQ(rig.form().Text_new->text(), "2");
    EXPECT_EQ(rig.form().log_text(), success_entry);
    EXPECT_TRUE(rig.messages.messages.empty());
}

TEST(ChangeE2E, SecondPressDuringTheWaitSendsNothing)
{
    Rig rig;
    LineDevice device(rig.line, always(echo_from_1));
    rig.open_port();
    rig.during_wait(300, [&] { rig.form().Command2->click(); });
    rig.press();
    EXPECT_EQ(device.requests().size(), 1U);
    EXPECT_EQ(rig.form().log_text(), success_entry);
    EXPECT_EQ(rig.day_log(), "\"" + success_entry + "\"\r\n");
}

TEST(ChangeE2E, PortClosedDuringTheWaitEndsWithoutAnswer)
{
    Rig rig;
    LineDevice device(rig.line, always(echo_from_1, milliseconds(500)));
    rig.open_port();
    rig.during_wait(300, [&] { rig.form().Command_uart->click(); });
    rig.press();
    EXPECT_EQ(rig.form().lamp_color(), 0);
    EXPECT_EQ(rig.messages.messages, std::vector<std::string>{"设置无响应，请重新设置"});
    EXPECT_EQ(rig.form().log_text(), no_reply_entry);
    // The port opens again afterwards.
    rig.open_port();
}

TEST(ChangeE2E, RefusedWithThePortClosedWritesNothingAnywhere)
{
    Rig rig;
    LineDevice device(rig.line, always(echo_from_1));
    rig.press();
    EXPECT_EQ(rig.messages.messages, std::vector<std::string>{"请打开串口"});
    EXPECT_EQ(rig.form().log_text(), "************************************\r\n\r\n");
    std::this_thread::sleep_for(milliseconds(200));
    EXPECT_TRUE(device.requests().empty());
    for (const auto& entry : std::filesystem::directory_iterator(rig.dir.path()))
        EXPECT_EQ(entry.path().filename(), "ports");
}

TEST(ChangeE2E, DayLogOnAFullDiskIsReportedAndTheAttemptStands)
{
    Rig rig;
    std::filesystem::create_symlink("/dev/full", rig.dir.file("2026-12-06.txt"));
    LineDevice device(rig.line, always(echo_from_1));
    rig.open_port();
    rig.press();
    EXPECT_EQ(rig.form().log_text(), success_entry);
    EXPECT_EQ(rig.messages.messages,
              std::vector<std::string>{"日志文件写入失败，请检查程序目录是否可写"});
}

// The virtual device takes the new ID: a second change from there works too.
TEST(ChangeE2E, VirtualDeviceTakesItsNewId)
{
    TempDir dir;
    Devsim devsim(dir.file("ports/COM9"), {"--id", "17"});
    MessageRecorder messages;
    FixedDateClock clock;
    Form1 form(dir.path(), {&messages, &clock});
    form.Command_uart->click();
    form.Command2->click();
    EXPECT_EQ(form.log_text(), success_entry);
    form.Text_old->setText("1");
    form.Text_new->setText("247");
    form.Command2->click();
    EXPECT_TRUE(form.log_text().find("响应数据：F7 6 0 A 0 F7") != std::string::npos)
        << form.log_text();
    EXPECT_TRUE(messages.messages.empty());
    EXPECT_TRUE(devsim.output().find("RX 11 6 0 A 0 1 6A 98") != std::string::npos)
        << devsim.output();
}
