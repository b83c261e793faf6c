// The port button on the fake window and line: the library's calls, the
// window's port state, the log box and parameter.txt, at each click.
#include "port_access.h"
#include "port_control.h"
#include "start_up.h"

#include "fakes.h"
#include "files.h"

#include <filesystem>
#include <gtest/gtest.h>

using namespace qrv;
using namespace qrv::test;
namespace fs = std::filesystem;

TEST(PortControl, OpensAndCloses)
{
    const std::string not_saved = "参数文件保存失败，请检查程序目录是否可写";
    const std::string denied_debian =
        "没有权限打开串口 COM9：请将用户加入 dialout 组（sudo adduser $USER dialout）后重新登录";
    const struct {
        int port, baud, open_status, baud_status;
        Strings calls;
        std::string settings; // "?": a folder of that name is in the way
        Strings messages;
    } rows[] = {
        // clang-format off
        {8, 4, 0, 0, {"open 9", "baud 9 115200"}, "\"8\",\"4\"\r\n", {}},
        {0, 0, 0, 0, {"open 1", "baud 1 9600"}, "\"0\",\"0\"\r\n", {}},
        {23, 5, 0, 0, {"open 24", "baud 24 230400"}, "\"23\",\"5\"\r\n", {}},
        {8, 4, 0, 0, {"open 9", "baud 9 115200"}, "?", {not_saved}}, // the port works all the same
        // A refused open says why, naming the port; the way to permission only where the system has one.
        {8, 4, sio_open_failed, 0, {"open 9"}, "", {"串口打开失败，请确认串口号是否正确：COM9（refused）"}},
        {8, 4, sio_no_device, 0, {"open 9"}, "", {"串口不存在：COM9，可运行 qrv-idctl ports 查看本机串口"}},
        {8, 4, sio_port_busy, 0, {"open 9"}, "", {"串口被其他程序占用：COM9，请先关闭占用它的程序"}},
        {8, 4, sio_no_access, 0, {"open 9"}, "", {*serial_port_group() ? denied_debian : "没有权限打开串口：COM9"}},
        // Released again, or the next click could not open it.
        {8, 4, 0, -4, {"open 9", "baud 9 115200", "close 9"}, "", {"波特率设置失败，请确认串口号是否正确"}},
        // clang-format on
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.calls.back() + " " + row.settings);
        TempDir dir;
        const std::string settings = dir.file("parameter.txt");
        FakeWindow window;
        FakeSerial serial;
        MessageRecorder messages;
        PortChoice choice;
        PortSettings saved;
        const auto click = [&] {
            port_button_click(window, serial, messages, choice,
                              [&] { return save_port_settings(window, dir.path(), saved); });
        };
        const auto shows = [&](bool open) {
            EXPECT_EQ(window.port_open, open);
            EXPECT_EQ(window.caption, open ? "关闭串口" : "打开串口");
            EXPECT_EQ(window.lists_enabled, !open);
        };
        window.port = row.port;
        window.baud = row.baud;
        serial.open_status = row.open_status;
        serial.baud_status = row.baud_status;
        if (row.settings == "?")
            fs::create_directory(settings);
        window.log = "kept";
        click();
        const bool open = row.calls.size() == 2;
        EXPECT_EQ(serial.calls, row.calls);
        EXPECT_EQ(messages.messages, row.messages);
        shows(open);
        EXPECT_EQ(window.log, open ? "" : "kept");
        EXPECT_EQ(fs::is_directory(settings) ? "?" : read_file(settings), row.settings);
        if (!open)
            continue;
        // A close the library refuses still closes.
        window.log = "kept";
        serial.open_ports.clear();
        serial.calls.clear();
        click();
        EXPECT_EQ(serial.calls, Strings{"close " + std::to_string(row.port + 1)});
        shows(false);
        EXPECT_EQ(window.log, "kept");
    }
}
