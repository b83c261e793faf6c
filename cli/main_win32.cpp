// qrv-idctl.exe: the command line on the Win32 serial library and clock.
#include "idctl.h"
#include "interrupt.h"
#include "win32_clock.h"
#include "win32_serial.h"
#include "windows_text.h"

#include <cstdio>
#include <io.h>
#include <windows.h>

namespace {

// The arguments as typed, in UTF-8: main's are in the ANSI code page, which
// cannot hold every file name.
std::vector<std::string> arguments()
{
    int count = 0;
    wchar_t** args = CommandLineToArgvW(GetCommandLineW(), &count);
    std::vector<std::string> out;
    for (int i = 1; args && i < count; ++i)
        out.push_back(qrv::utf8(args[i]));
    LocalFree(args);
    return out;
}

} // namespace

int main()
{
    qrv::cli::catch_stop_signals();
    // Results are UTF-8: a console shows them so, a redirected file keeps them.
    const UINT console_page = GetConsoleOutputCP();
    SetConsoleOutputCP(CP_UTF8);
    qrv::Win32Serial serial;
    qrv::Win32Clock clock;
    const qrv::cli::Platform platform{serial, clock, qrv::cli::stop_requested,
                                      _isatty(_fileno(stderr)) != 0};
    const int status = qrv::cli::run(arguments(), qrv::program_folder(), platform, stdout, stderr);
    if (console_page != 0)
        SetConsoleOutputCP(console_page);
    qrv::cli::command_ended();
    return status;
}
