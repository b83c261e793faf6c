// qrv-idset.exe: the window on the Win32 API, its files beside the program.
#include "form1.h"
#include "wide_text.h"

#include <commctrl.h>

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int show)
{
    // The manifest asks for the themed controls of version 6.
    const INITCOMMONCONTROLSEX controls{sizeof controls, ICC_STANDARD_CLASSES};
    InitCommonControlsEx(&controls);
    Form1 window(qrv::program_folder());
    window.show(show);
    window.run();
    return 0;
}
