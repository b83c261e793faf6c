// qrv-idset.exe: the window on the Win32 API, its files beside the program.
#include "form1.h"
#include "wide_text.h"

#include <commctrl.h>
#include <filesystem>

namespace {

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

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int show)
{
    // The manifest asks for the themed controls of version 6.
    const INITCOMMONCONTROLSEX controls{sizeof controls, ICC_STANDARD_CLASSES};
    InitCommonControlsEx(&controls);
    Form1 window(tool_folder());
    window.show(show);
    window.run();
    return 0;
}
