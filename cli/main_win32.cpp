// qrv-idctl.exe: the command line on the Win32 serial library and clock,
// its files beside the program.
#include "idctl.h"
#include "interrupt.h"
#include "program_folder.h"
#include "tool_folder.h"
#include "win32_clock.h"
#include "win32_serial.h"
#include "windows_text.h"

#include <cstdio>
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

bool is_console(DWORD which)
{
    DWORD mode = 0;
    return GetConsoleMode(GetStdHandle(which), &mode) != 0;
}

// A console takes the text as UTF-16, whatever its code page; a stream
// redirected to a file or a pipe gets UTF-8.
class ConsoleOut final : public qrv::cli::TextSink {
public:
    explicit ConsoleOut(DWORD which) : m_handle(GetStdHandle(which)) {}
    bool write(std::string_view text) override
    {
        const std::wstring wide = qrv::wide(std::string(text));
        DWORD written = 0;
        return WriteConsoleW(m_handle, wide.data(), static_cast<DWORD>(wide.size()), &written,
                             nullptr) &&
               written == wide.size();
    }

private:
    HANDLE m_handle;
};

std::unique_ptr<qrv::cli::TextSink> standard(DWORD which, std::FILE* file)
{
    if (is_console(which))
        return std::make_unique<ConsoleOut>(which);
    return std::make_unique<qrv::cli::FileOut>(file);
}

// Whether the console was made for this program alone, as for one
// double-clicked in Explorer: it closes when the program ends.
bool console_of_its_own()
{
    DWORD processes[2];
    return GetConsoleProcessList(processes, 2) == 1;
}

// Until a key is pressed on the console, Ctrl-C among them.
void wait_for_a_key()
{
    const HANDLE in =
        CreateFileW(L"CONIN$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                    nullptr, OPEN_EXISTING, 0, nullptr);
    if (in == INVALID_HANDLE_VALUE)
        return;
    DWORD mode = 0;
    if (GetConsoleMode(in, &mode))
        SetConsoleMode(in, mode & ~DWORD(ENABLE_PROCESSED_INPUT));
    INPUT_RECORD input{};
    DWORD read = 0;
    while (ReadConsoleInputW(in, &input, 1, &read) &&
           !(read == 1 && input.EventType == KEY_EVENT && input.Event.KeyEvent.bKeyDown)) {
    }
    CloseHandle(in);
}

} // namespace

int main()
{
    qrv::cli::catch_stop_signals();
    qrv::Win32Serial serial;
    qrv::Win32Clock clock;
    const qrv::cli::Platform platform{serial,
                                      clock,
                                      qrv::cli::stop_requested,
                                      is_console(STD_ERROR_HANDLE),
                                      qrv::max_port_number,
                                      qrv::cli::read_standard_input,
                                      qrv::cli::text_stops_windows,
                                      qrv::cli::text_folder_holds_windows};
    const auto out = standard(STD_OUTPUT_HANDLE, stdout);
    const auto err = standard(STD_ERROR_HANDLE, stderr);
    std::vector<std::string> args = arguments();
    // Double-clicked, with nothing to do: what it is, its help, and the
    // console kept open until it has been read.
    const bool double_clicked = args.empty() && console_of_its_own();
    if (double_clicked) {
        out->write(std::string(qrv::cli::text_run_from_a_prompt) + "\n");
        args = {"--help"};
    }
    const int status =
        qrv::cli::run(args, qrv::tool_folder(qrv::program_folder()), platform, *out, *err);
    qrv::cli::command_ended();
    if (double_clicked) {
        out->write(std::string(qrv::cli::text_press_a_key) + "\n");
        wait_for_a_key();
    }
    return status;
}
