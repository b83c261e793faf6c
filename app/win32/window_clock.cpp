#include "window_clock.h"

#include <optional>

namespace qrv {

void WindowClock::wait_handling_events(int ms)
{
    if (ms <= 0)
        return;
    m_busy(true);
    std::optional<WPARAM> quit;
    const std::int64_t end = m_base.now_ms() + ms;
    for (std::int64_t left; (left = end - m_base.now_ms()) > 0;) {
        MsgWaitForMultipleObjectsEx(0, nullptr, static_cast<DWORD>(left), QS_ALLINPUT,
                                    MWMO_INPUTAVAILABLE);
        MSG msg;
        while (m_base.now_ms() < end && PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            if (msg.message == WM_QUIT)
                quit = msg.wParam;
            else
                m_dispatch(msg);
        }
    }
    m_busy(false);
    if (quit)
        PostQuitMessage(static_cast<int>(*quit));
}

} // namespace qrv
