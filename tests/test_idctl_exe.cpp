// qrv-idctl.exe as a technician runs it on Windows, from a folder of its own,
// against the virtual device on a COM port of the Wine prefix.
#include "golden.h"
#include "vocabulary.h"
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

// The program copied into a folder of its own, which takes its day log.
struct Tool {
    Tool()
    {
        wchar_t self[MAX_PATH];
        GetModuleFileNameW(nullptr, self, MAX_PATH);
        std::filesystem::copy_file(std::filesystem::path(self).parent_path() / "qrv-idctl.exe",
                                   dir.path() + "\\qrv-idctl.exe");
    }
    // Runs the command line, its output in out.txt; with heard, Ctrl-C once
    // the device has printed it.
    Ran operator()(const std::string& args, Devsim& device, const std::string& heard = "")
    {
        SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
        const std::wstring out_path = std::filesystem::path(dir.path() + "\\out.txt").wstring();
        HANDLE out = CreateFileW(out_path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit,
                                 CREATE_ALWAYS, 0, nullptr);
        STARTUPINFOW si{};
        si.cb = sizeof si;
        si.dwFlags = STARTF_USESTDHANDLES;
        si.hStdOutput = si.hStdError = out;
        std::wstring line = L"qrv-idctl.exe " + std::wstring(args.begin(), args.end());
        const std::wstring exe = std::filesystem::path(dir.path() + "\\qrv-idctl.exe").wstring();
        PROCESS_INFORMATION pi{};
        if (!CreateProcessW(exe.c_str(), line.data(), nullptr, nullptr, TRUE, 0, nullptr,
                            std::filesystem::path(dir.path()).wstring().c_str(), &si, &pi))
            throw std::runtime_error("qrv-idctl.exe did not start");
        CloseHandle(out);
        if (!heard.empty() && !device.wait_for(heard).empty())
            Devsim::shell({"pkill -INT -f 'qrv-idctl.exe change'"});
        WaitForSingleObject(pi.hProcess, 60'000);
        DWORD status = 0;
        GetExitCodeProcess(pi.hProcess, &status);
        CloseHandle(pi.hThread);
        CloseHandle(pi.hProcess);
        return {status, read_file(dir.path() + "\\out.txt")};
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
    const struct {
        std::vector<std::string> devices;
        std::string args, heard;
        DWORD status;
        std::string said, filed; // filed: the entry's last line, in the system's encoding
    } rows[] = {
        // clang-format off
        {{"--id", "17"}, "read --port COM9 --baud 9600 --id 17", "", 0, "ID 17：寄存器10 = 17\n", ""},
        {{"--id", "17"}, change, "", 0, "ID 17 → 1：Modbus 新ID 设置成功，已在ID 1 读回确认\n",
         "响应数据：1 6 0 A 0 1 68 8\r\nModbus 新ID 设置成功  \r\n已在ID 1 读回确认"},
        {{"--id", "17", "--id", "1"}, change, "", 4,
         "ID 17 → 1：新ID 1 已被占用（寄存器10 = 1），未发送更改命令\n", ""},
        {{"--id", "5", "--baud", "9600", "--id", "23", "--baud", "38400"}, "scan --port 9 --ids 1-30 --timeout 40", "", 0,
         "地址  波特率  寄存器10\n5     9600    寄存器10 = 5\n23    38400   寄存器10 = 23\n找到 2 台设备\n", ""},
        // Ctrl-C while the change waits: the attempt and its record stay whole.
        {{"--id", "17"}, change, "RX 11 6 0 A 0 1", 130,
         "ID 17 → 1：Modbus 新ID 设置成功，已中断，未读回确认\n", "已中断，未读回确认"},
        // clang-format on
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.args);
        Tool tool;
        Devsim device(9, row.devices);
        const Ran run = tool(row.args, device, row.heard);
        EXPECT_EQ(run.status, row.status) << run.out;
        // A redirected file on Windows takes CR LF line ends.
        EXPECT_EQ(run.out, std::regex_replace(row.said, std::regex("\n"), "\r\n"));
        const std::string log = tool.day_log();
        const std::string filed = as_in_day_log(log, row.filed + star_line);
        EXPECT_EQ(!row.filed.empty() && log.find(filed) != std::string::npos, !log.empty()) << log;
    }
}

} // namespace
