// qrv-idctl.exe: the command line on the Win32 serial library and clock.
#include "idctl.h"
#include "interrupt.h"
#include "win32_clock.h"
#include "win32_serial.h"

#include <cstdio>
#include <filesystem>
#include <windows.h>

namespace {

std::string utf8(const std::wstring& text)
{
    const int n = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                      nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<std::size_t>(std::max(n, 0)), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), n,
                        nullptr, nullptr);
    return out;
}

// The arguments as typed, in UTF-8: main's are in the ANSI code page, which
// cannot hold every file name.
std::vector<std::string> arguments()
{
    int count = 0;
    wchar_t** args = CommandLineToArgvW(GetCommandLineW(), &count);
    std::vector<std::string> out;
    for (int i = 1; args && i < count; ++i)
        out.push_back(utf8(args[i]));
    LocalFree(args);
    return out;
}

std::string tool_folder()
{
    std::wstring path(MAX_PATH, L'\0');
    DWORD n;
    while ((n = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()))) ==
           path.size())
        path.resize(path.size() * 2);
    path.resize(n);
    return utf8(std::filesystem::path(path).parent_path().wstring());
}

} // namespace

int main()
{
    qrv::cli::catch_stop_signals();
    // Results are UTF-8: a console shows them so, a redirected file keeps them.
    const UINT console_page = GetConsoleOutputCP();
    SetConsoleOutputCP(CP_UTF8);
    qrv::Win32Serial serial;
    Win32Clock clock;
    const qrv::cli::Platform platform{
        serial, clock,
        [&serial](int port, const std::string& device) { return serial.open_device(port, device); },
        qrv::cli::stop_requested};
    const int status = qrv::cli::run(arguments(), tool_folder(), platform, stdout, stderr);
    if (console_page != 0)
        SetConsoleOutputCP(console_page);
    qrv::cli::command_ended();
    return status;
}
