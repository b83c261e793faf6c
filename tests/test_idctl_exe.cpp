// qrv-idctl.exe as a technician runs it on Windows, from a folder of its own,
// against the virtual device on a COM port of the Wine prefix.
#include "golden.h"
#include "texts.h"
#include "vocabulary.h"
#include "windows_text.h"
#include "wine.h"

#include <gtest/gtest.h>
#include <regex>

using namespace qrv;
using namespace qrv::test;

namespace {

struct Ran {
    DWORD status;
    std::string out;
};

// Where the program's output goes: a file, or the console it shares with
// the test; or, double-clicked, a file while the console is its own.
enum class Out { file, console, double_click };

// A Ctrl-C on the test's console is meant for the program.
BOOL WINAPI ignore_ctrl_c(DWORD)
{
    return TRUE;
}

// The program copied into a folder of its own, which takes its day log.
struct Tool {
    Tool()
    {
        wchar_t self[MAX_PATH];
        GetModuleFileNameW(nullptr, self, MAX_PATH);
        std::filesystem::copy_file(std::filesystem::path(self).parent_path() / "qrv-idctl.exe",
                                   dir.path() + "\\qrv-idctl.exe");
    }
    // Runs the command line, its output as out says; with stop ("INT
    // heard"), Ctrl-C to it, or with "KILL heard" the device killed, once the
    // device has printed what is heard. The program shares a console made
    // for this run with the test alone, so that a Ctrl-C reaches nobody else.
    Ran operator()(const std::string& args, Devsim& device, const std::string& stop, Out out_to)
    {
        const bool console = out_to == Out::console;
        SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
        const std::wstring out_path = std::filesystem::path(dir.path() + "\\out.txt").wstring();
        HANDLE out = CreateFileW(out_path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit,
                                 CREATE_ALWAYS, 0, nullptr);
        STARTUPINFOW si{};
        si.cb = sizeof si;
        si.dwFlags = console ? 0 : STARTF_USESTDHANDLES;
        si.hStdOutput = si.hStdError = out;
        std::wstring line = L"qrv-idctl.exe " + wide(args);
        const std::wstring exe = std::filesystem::path(dir.path() + "\\qrv-idctl.exe").wstring();
        PROCESS_INFORMATION pi{};
        FreeConsole();
        AllocConsole();
        SetConsoleCtrlHandler(ignore_ctrl_c, TRUE);
        const DWORD flags = out_to == Out::double_click ? CREATE_NEW_CONSOLE : 0;
        if (!CreateProcessW(exe.c_str(), line.data(), nullptr, nullptr, TRUE, flags, nullptr,
                            std::filesystem::path(dir.path()).wstring().c_str(), &si, &pi))
            throw std::runtime_error("qrv-idctl.exe did not start");
        CloseHandle(out);
        if (!stop.empty() && !device.wait_for(stop.substr(stop.find(' ') + 1)).empty()) {
            if (stop.starts_with("KILL"))
                device.signal("KILL");
            else
                GenerateConsoleCtrlEvent(CTRL_C_EVENT, 0);
        }
        if (out_to == Out::double_click)
            press_a_key(pi);
        WaitForSingleObject(pi.hProcess, 60'000);
        DWORD status = 0;
        GetExitCodeProcess(pi.hProcess, &status);
        CloseHandle(pi.hThread);
        CloseHandle(pi.hProcess);
        return {status, console ? console_text() : read_file(dir.path() + "\\out.txt")};
    }
    // Once the program asks for a key on its own console, Space is pressed
    // there until it has ended (10 s at most).
    void press_a_key(const PROCESS_INFORMATION& program) const
    {
        for (int i = 0;
             i < 1000 && read_file(dir.path() + "\\out.txt").find("按任意键") == std::string::npos;
             ++i)
            Sleep(10);
        FreeConsole();
        AttachConsole(program.dwProcessId);
        HANDLE in =
            CreateFileW(L"CONIN$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                        nullptr, OPEN_EXISTING, 0, nullptr);
        INPUT_RECORD key{};
        key.EventType = KEY_EVENT;
        key.Event.KeyEvent = {TRUE, 1, VK_SPACE, 0, {L' '}, 0};
        DWORD written = 0;
        for (int i = 0; i < 100 && WaitForSingleObject(program.hProcess, 100) == WAIT_TIMEOUT; ++i)
            WriteConsoleInputW(in, &key, 1, &written);
        CloseHandle(in);
        FreeConsole();
    }
    // The lines on the console, in UTF-8 with LF ends.
    static std::string console_text()
    {
        HANDLE screen =
            CreateFileW(L"CONOUT$", GENERIC_READ | GENERIC_WRITE,
                        FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
        CONSOLE_SCREEN_BUFFER_INFO info{};
        GetConsoleScreenBufferInfo(screen, &info);
        std::string text;
        for (SHORT row = 0; row < info.dwCursorPosition.Y; ++row) {
            std::wstring cells(static_cast<std::size_t>(info.dwSize.X), L' ');
            DWORD read = 0;
            ReadConsoleOutputCharacterW(screen, cells.data(), info.dwSize.X, {0, row}, &read);
            cells.erase(cells.find_last_not_of(L' ') + 1);
            text += utf8(cells) + "\n";
        }
        CloseHandle(screen);
        return text;
    }
    // The day log, in the system's encoding; empty when none was made.
    std::string day_log() const
    {
        for (const auto& e : std::filesystem::directory_iterator(dir.path()))
            if (e.path().filename().string().starts_with("20"))
                return read_file(e.path().string());
        return "";
    }
    TempDir dir;
};

TEST(IdctlExe, AgainstTheVirtualDevice)
{
    const std::string change = "change --port 9 --baud 115200 --from 17 --to 1";
    const std::string confirmed = "ID 17 → 1：Modbus 新ID 设置成功，已在ID 1 读回确认\n";
    const struct {
        std::vector<std::string> devices;
        std::string args, stop;
        Out out;
        DWORD status;
        // said: how the output ends (<folder>: the tool's); filed: the entry's last line
        std::string said, filed;
    } rows[] = {
        // clang-format off
        {{"--id", "17"}, "read --port COM9 --baud 9600 --id 17", "", Out::console, 0, "ID 17：寄存器10 = 17\n", ""},
        {{"--id", "17"}, change, "", Out::file, 0, confirmed,
         "响应数据：1 6 0 A 0 1 68 8\r\nModbus 新ID 设置成功，已在ID 1 读回确认"},
        {{"--id", "17", "--id", "1"}, change, "", Out::file, 4,
         "ID 17 → 1：新ID 1 已被占用（寄存器10 = 1），未发送更改命令\n", ""},
        {{"--id", "5", "--baud", "9600", "--id", "23", "--baud", "38400"}, "scan --port 9 --ids 1-30 --timeout 40", "",
         Out::file, 0, "地址  波特率  寄存器10\n5     9600    寄存器10 = 5\n23    38400   寄存器10 = 23\n找到 2 台设备\n", ""},
        // Ctrl-C while the change waits: the attempt and its record stay whole.
        {{"--id", "17"}, change, "INT RX 11 6 0 A 0 1", Out::file, 130,
         "ID 17 → 1：Modbus 新ID 设置成功，已中断，未读回确认\n", "已中断，未读回确认"},
        {{"--echo", "--id", "17"}, change, "", Out::file, 0,
         std::string("qrv-idctl: ") + cli::text_echo_found + "\n" + confirmed, "已在ID 1 读回确认"},
        // A list with a Chinese name reaches the program as typed. (Wine keeps such a name on
        // disk only under a Chinese locale the system has, which the test's system need not.)
        {{"--id", "17"}, "batch --port 9 --baud 115200 清单.txt", "", Out::file, 2, "清单.txt：文件不存在\n文件有误，未发送任何命令\n", ""},
        // The adapter pulled in a batch: the rest is not run.
        {{"--id", "1", "--id", "2", "--id", "3"}, "batch --port 9 --baud 115200 list.txt --timeout 2000",
         "KILL RX C 3 0 A", Out::file, 3, "\n行    原ID    新ID    结果\n1     1       11      已确认\n"
         "2     2       12      串口已断开\n3     3       13      未执行\n已执行 2 行，共 3 行\n", "已在ID 11 读回确认"},
        // A box of new devices numbered as they are plugged in; two at once refused until Ctrl-C.
        {{"--id", "21", "--id", "17", "--id", "17", "--appear", "1500"}, "assign --port 9 --baud 115200 --from 17 --to 20-22",
         "", Out::file, 0, "\n设备  原ID    新ID    结果\n1     17      20      已确认\n"
         "2     17      22      已确认\n已编号 2 台，共接入 2 台\n", "已在ID 22 读回确认"},
        {{"--id", "17", "--id", "17"}, "assign --port 9 --baud 115200 --from 17 --to 20-22", "INT collision", Out::file, 130,
         "请一次只接一台，未发送更改命令\n\n设备  原ID    新ID    结果\n已编号 0 台，共接入 0 台\n", ""},
        // Double-clicked: its help, naming Windows' own ways to stop it, until a key is pressed.
        {{"--id", "17"}, "", "", Out::double_click, 0, std::string("130 被 Ctrl-C、Ctrl-Break 或关闭控制台窗口中断\n"
         "FILE 为 - 时从标准输入读取；-- 之后的参数都不是选项\n工具文件夹（日志、parameter.txt）：<folder>\n"
         "按任意键关闭此窗口\n"), ""},
        // A port the prefix does not have, named as a technician writes it, not \\.\COM7.
        {{"--id", "17"}, "read --port 7 --baud 9600 --id 17", "", Out::file, 3,
         "qrv-idctl: 串口不存在：COM7，可运行 qrv-idctl ports 查看本机串口\n", ""},
        {{"--id", "5", "--identity", "ACME,QRV-100,1.2"}, "scan --port 9 --baud 115200 --ids 5 --identify", "", Out::file, 0,
         "5     115200  寄存器10 = 5，厂商 ACME，产品 QRV-100，版本 1.2\n找到 1 台设备\n", ""},
        // clang-format on
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.args);
        Tool tool;
        write_file(tool.dir.path() + "\\list.txt", "1 11\n2 12\n3 13\n");
        Devsim device(9, row.devices);
        const Ran run = tool(row.args, device, row.stop, row.out);
        EXPECT_EQ(run.status, row.status) << run.out;
        std::string said = row.said;
        if (const auto at = said.find("<folder>"); at != std::string::npos)
            said.replace(at, 8, tool.dir.path());
        // A redirected file on Windows takes CR LF line ends.
        EXPECT_TRUE(run.out.ends_with(
            row.out == Out::console ? said : std::regex_replace(said, std::regex("\n"), "\r\n")))
            << run.out;
        const std::string log = tool.day_log();
        const std::string filed = as_in_day_log(log, row.filed + star_line);
        EXPECT_EQ(!row.filed.empty() && log.find(filed) != std::string::npos, !log.empty()) << log;
    }
}

// A text value in the prefix's registry, its key made where missing
// (volatile, as HARDWARE's keys are).
void set_value(const std::wstring& key, const wchar_t* name, const std::wstring& text)
{
    HKEY open = nullptr;
    ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, key.c_str(), 0, nullptr, REG_OPTION_VOLATILE,
                              KEY_WRITE, nullptr, &open, nullptr),
              ERROR_SUCCESS);
    RegSetValueExW(open, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                   DWORD((text.size() + 1) * sizeof(wchar_t)));
    RegCloseKey(open);
}

// The ports Windows lists, as Device Manager names them: an adapter at COM5
// (5 in the window's list), one at COM30 beyond the list, a Chinese name.
TEST(IdctlExe, PortsAsTheRegistryHasThem)
{
    const std::wstring serial_map = L"HARDWARE\\DEVICEMAP\\SERIALCOMM";
    const std::wstring usb = L"SYSTEM\\CurrentControlSet\\Enum\\USB\\VID_1A86&PID_7523\\";
    set_value(serial_map, L"\\Device\\QrvTest0", L"COM5");
    set_value(serial_map, L"\\Device\\QrvTest1", L"COM30");
    set_value(usb + L"QRV5", L"FriendlyName", L"USB-SERIAL CH340 (COM5)");
    set_value(usb + L"QRV5\\Device Parameters", L"PortName", L"COM5");
    set_value(usb + L"QRV30", L"FriendlyName", L"USB 串口 (COM30)");
    set_value(usb + L"QRV30\\Device Parameters", L"PortName", L"com30");
    Tool tool;
    Devsim device(9);
    const Ran text = tool("ports", device, "", Out::file);
    EXPECT_EQ(text.status, 0u);
    const std::string lines = "\n" + text.out;
    EXPECT_NE(lines.find("\nCOM5：USB-SERIAL CH340 (COM5)，窗口串口号 5\r\n"), std::string::npos)
        << text.out;
    EXPECT_NE(lines.find("\nCOM30：USB 串口 (COM30)\r\n"), std::string::npos) << text.out;
    const Ran json = Tool()("ports --json", device, "", Out::file);
    EXPECT_NE(json.out.find("{\"command\":\"ports\",\"result\":\"port\",\"exit\":0,\"baud\":null,"
                            "\"port_device\":\"COM30\",\"port_number\":null,\"name\":\"USB 串口 "
                            "(COM30)\",\"text\":"),
              std::string::npos)
        << json.out;
    RegDeleteKeyValueW(HKEY_LOCAL_MACHINE, serial_map.c_str(), L"\\Device\\QrvTest0");
    RegDeleteKeyValueW(HKEY_LOCAL_MACHINE, serial_map.c_str(), L"\\Device\\QrvTest1");
    RegDeleteTreeW(HKEY_LOCAL_MACHINE, L"SYSTEM\\CurrentControlSet\\Enum\\USB\\VID_1A86&PID_7523");
}

} // namespace
