// qrv-idset.exe: the window on the Win32 API, its files beside the program
// (tool_folder.h).
#include "form1.h"
#include "program_folder.h"
#include "tool_folder.h"
#include "vocabulary.h"
#include "wide_text.h"

#include <commctrl.h>

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int show)
{
    // The manifest asks for the themed controls of version 6.
    const INITCOMMONCONTROLSEX controls{sizeof controls, ICC_STANDARD_CLASSES};
    InitCommonControlsEx(&controls);
    try {
        Form1 window(qrv::tool_folder(qrv::program_folder()));
        window.show(show);
        window.run();
        return 0;
    } catch (const std::exception&) {
        // No window to stand on: a box of its own says why the tool is gone.
        MessageBoxW(nullptr, wide(qrv::msg_window_failed).c_str(), wide(qrv::app_title).c_str(),
                    MB_OK | MB_ICONERROR);
        return 1;
    }
}
