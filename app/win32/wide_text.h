// The window's texts between the core's UTF-8 and the Win32 API's UTF-16.
#pragma once

#include "windows_text.h"

using qrv::utf8;
using qrv::wide;

// The text of a window or control.
inline std::string window_text(HWND hwnd)
{
    std::wstring text(static_cast<std::size_t>(GetWindowTextLengthW(hwnd)) + 1, L'\0');
    text.resize(static_cast<std::size_t>(GetWindowTextW(hwnd, text.data(), int(text.size()))));
    return utf8(text);
}
