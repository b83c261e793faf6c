#include "win32_clock.h"

#include "windows_text.h"

#include <algorithm>
#include <cstdio>

namespace qrv {

std::string Win32Clock::date_text()
{
    SYSTEMTIME now;
    GetLocalTime(&now);
    char text[16];
    std::snprintf(text, sizeof text, "%04u-%02u-%02u", now.wYear, now.wMonth, now.wDay);
    return text;
}

std::string Win32Clock::date_time_text()
{
    SYSTEMTIME now;
    GetLocalTime(&now);
    wchar_t date[80] = {}, time[80] = {};
    // The long time format names no time zone on Windows.
    GetDateFormatEx(LOCALE_NAME_USER_DEFAULT, DATE_SHORTDATE, &now, nullptr, date, 80, nullptr);
    GetTimeFormatEx(LOCALE_NAME_USER_DEFAULT, 0, &now, nullptr, time, 80);
    return qrv::utf8(date) + " " + qrv::utf8(time);
}

void Win32Clock::wait_handling_events(int ms, const Meanwhile& meanwhile)
{
    for (const std::int64_t end = now_ms() + ms; now_ms() < end;) {
        sleep_ms(static_cast<int>(std::min<std::int64_t>(end - now_ms(), meanwhile_ms)));
        if (meanwhile)
            meanwhile();
    }
}

void Win32Clock::sleep_ms(int ms)
{
    // Sleep wakes no earlier than asked, but the tick may lag a little.
    for (const std::int64_t end = now_ms() + ms; now_ms() < end;)
        Sleep(static_cast<DWORD>(end - now_ms()));
}

std::int64_t Win32Clock::now_ms()
{
    // The performance counter, not the 15.6 ms tick: answer windows are short.
    LARGE_INTEGER count, frequency;
    QueryPerformanceCounter(&count);
    QueryPerformanceFrequency(&frequency);
    return count.QuadPart / (frequency.QuadPart / 1000);
}

} // namespace qrv
