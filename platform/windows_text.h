// Windows only: the core's UTF-8 texts and the UTF-16 of the Win32 API, and
// the system's words for its errors.
#pragma once

#include <optional>
#include <string>
#include <windows.h>

namespace qrv {

inline std::wstring wide(const std::string& utf8)
{
    const int n =
        MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
    std::wstring out(static_cast<std::size_t>(n > 0 ? n : 0), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), out.data(), n);
    return out;
}

// UTF-16 text in code page cp; nothing when the code page cannot hold every
// character as it is (neither a '?' nor a near look-alike stands in for
// one), or Windows cannot convert it at all. UTF-8 holds every character,
// and Windows takes neither flags nor a default character for it.
inline std::optional<std::string> in_code_page(const std::wstring& text, UINT cp)
{
    if (text.empty())
        return std::string();
    const bool checked = cp != CP_UTF8;
    const DWORD flags = checked ? WC_NO_BEST_FIT_CHARS : 0;
    BOOL defaulted = FALSE;
    const int size = static_cast<int>(text.size());
    const int n = WideCharToMultiByte(cp, flags, text.data(), size, nullptr, 0, nullptr,
                                      checked ? &defaulted : nullptr);
    if (n <= 0 || defaulted)
        return std::nullopt;
    std::string out(static_cast<std::size_t>(n), '\0');
    WideCharToMultiByte(cp, flags, text.data(), size, out.data(), n, nullptr, nullptr);
    return out;
}

inline std::string utf8(const std::wstring& text)
{
    return in_code_page(text, CP_UTF8).value_or(std::string());
}

// The system's words for a Win32 error, in the user's language, without the
// line end Windows puts after them.
inline std::string system_message(DWORD code)
{
    wchar_t* text = nullptr;
    const DWORD n = FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                       FORMAT_MESSAGE_IGNORE_INSERTS,
                                   nullptr, code, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    std::wstring message(text ? text : L"", n);
    LocalFree(text);
    while (!message.empty() &&
           (message.back() == L'\n' || message.back() == L'\r' || message.back() == L' '))
        message.pop_back();
    return message.empty() ? "Windows error " + std::to_string(code) : utf8(message);
}

} // namespace qrv
