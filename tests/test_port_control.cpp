#include "port_control.h"

#include "fakes.h"
#include "form1.h"
#include "pty.h"
#include "qt_app.h"

#include <QComboBox>
#include <QPushButton>
#include <QTextEdit>
#include <filesystem>
#include <gtest/gtest.h>

using namespace qrv;
using namespace qrv::test;

namespace {

struct Bench {
    void click()
    {
        port_button_click(window, serial, messages, vars, [this] {
            ++saves;
            return save_ok;
        });
    }
    void expect_closed()
    {
        EXPECT_EQ(window.lamp, lamp_closed);
        EXPECT_EQ(window.caption, caption_open_port);
        EXPECT_TRUE(window.lists_enabled);
    }

    FakeWindow window;
    FakeSerial serial;
    MessageRecorder messages;
    WindowVars vars;
    int saves = 0;
    bool save_ok = true;
};

} // namespace

TEST(PortButton, OpensTheSelectedPortAtTheSelectedSpeed)
{
    struct Row {
        int port_index, baud_index;
        std::vector<std::string> calls;
    } rows[] = {
        {8, 4, {"open 9", "baud 9 115200"}},
        {0, 0, {"open 1", "baud 1 9600"}},
        {23, 5, {"open 24", "baud 24 230400"}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.calls[0]);
        Bench b;
        b.window.port = row.port_index;
        b.window.baud = row.baud_index;
        b.window.log = "old entry";
        b.click();
        EXPECT_EQ(b.serial.calls, row.calls);
        EXPECT_EQ(b.window.lamp, lamp_open);
        EXPECT_EQ(b.window.caption, caption_close_port);
        EXPECT_FALSE(b.window.lists_enabled);
        EXPECT_EQ(b.window.log, "");
        EXPECT_EQ(b.saves, 1);
        EXPECT_TRUE(b.messages.messages.empty());
    }
}

TEST(PortButton, FailuresToOpenLeaveThePortClosed)
{
    {
        SCOPED_TRACE("open fails");
        Bench b;
        b.serial.open_status = sio_open_failed;
        b.window.log = "kept";
        b.click();
        EXPECT_EQ(b.serial.calls, std::vector<std::string>{"open 9"});
        EXPECT_EQ(b.messages.messages, std::vector<std::string>{msg_open_failed});
        EXPECT_EQ(b.saves, 0);
        EXPECT_EQ(b.window.log, "kept");
        b.expect_closed();
    }
    {
        SCOPED_TRACE("baud fails: the port is released, so the next click can open it");
        Bench b;
        b.serial.baud_status = sio_bad_baud;
        b.click();
        EXPECT_EQ(b.serial.calls, (std::vector<std::string>{"open 9", "baud 9 115200", "close 9"}));
        EXPECT_EQ(b.messages.messages, std::vector<std::string>{msg_baud_failed});
        EXPECT_TRUE(b.serial.open_ports.empty());
        EXPECT_EQ(b.saves, 0);
        b.expect_closed();
        b.serial.baud_status = sio_ok;
        b.click();
        EXPECT_EQ(b.window.lamp, lamp_open);
    }
}

TEST(PortButton, SettingsFileThatCannotBeWrittenLeavesThePortOpen)
{
    Bench b;
    b.save_ok = false;
    b.click();
    EXPECT_EQ(b.messages.messages, std::vector<std::string>{msg_settings_failed});
    EXPECT_EQ(b.window.lamp, lamp_open);
    EXPECT_EQ(b.window.caption, caption_close_port);
    EXPECT_FALSE(b.window.lists_enabled);
    EXPECT_EQ(b.serial.open_ports.count(9), 1U);
}

TEST(PortButton, AnyLampColourButBlackClosesThePort)
{
    for (const std::int32_t colour : {255, 1, 0x00FF00, -1}) {
        SCOPED_TRACE(colour);
        Bench b;
        b.window.lamp = colour;
        b.window.lists_enabled = false;
        b.window.log = "kept";
        b.serial.open_ports[9] = 115200;
        b.click();
        EXPECT_EQ(b.serial.calls, std::vector<std::string>{"close 9"});
        EXPECT_EQ(b.window.log, "kept");
        b.expect_closed();
    }
    // A close that fails still shows the port closed.
    Bench b;
    b.window.lamp = lamp_open;
    b.click();
    b.expect_closed();
}

// The window with the real serial library, on a pseudo-terminal linked as COM9.
TEST(PortButton, WindowOpensAndClosesARealPort)
{
    TempDir dir;
    Pty line;
    line.link(dir.file("ports/COM9"));
    MessageRecorder messages;
    Form1 form(dir.path(), {&messages});

    form.Command_uart->click();
    EXPECT_TRUE(messages.messages.empty());
    EXPECT_EQ(form.lamp_color(), 255);
    EXPECT_EQ(form.Command_uart->text(), "关闭串口");
    EXPECT_FALSE(form.Combo_uart->isEnabled());
    EXPECT_FALSE(form.Combo_baud->isEnabled());
    EXPECT_EQ(read_file(dir.file("parameter.txt")), "\"8\",\"4\"\r\n");

    form.set_log_text("typed");
    form.Command_uart->click();
    EXPECT_EQ(form.lamp_color(), 0);
    EXPECT_EQ(form.Command_uart->text(), "打开串口");
    EXPECT_TRUE(form.Combo_uart->isEnabled());
    EXPECT_EQ(form.log_text(), "typed");

    // Reopening after a close works, and empties the log box.
    form.Command_uart->click();
    EXPECT_EQ(form.lamp_color(), 255);
    EXPECT_EQ(form.log_text(), "");
    EXPECT_TRUE(messages.messages.empty());
}

TEST(PortButton, WindowReportsAMissingDeviceAndSavesNothing)
{
    TempDir dir;
    MessageRecorder messages;
    Form1 form(dir.path(), {&messages});
    form.Combo_uart->setCurrentIndex(23); // /dev/ttyS23: not on any test machine
    form.Command_uart->click();
    EXPECT_EQ(messages.messages, std::vector<std::string>{"串口打开失败，请确认串口号是否正确"});
    EXPECT_EQ(form.lamp_color(), 0);
    EXPECT_TRUE(form.Combo_uart->isEnabled());
    EXPECT_FALSE(std::filesystem::exists(dir.file("parameter.txt")));
}
