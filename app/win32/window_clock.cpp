#include "window_clock.h"

#include <algorithm>
#include <optional>

namespace qrv {

void WindowClock::wait_handling_events(int ms, const Meanwhile& meanwhile)
{
    if (ms <= 0)
        return;
    m_busy(true);
    std::optional<WPARAM> quit;
    const std::int64_t end = m_base.now_ms() + ms;
    std::int64_t turn = m_base.now_ms() + meanwhile_ms;
    for (std::int64_t left; (left = end - m_base.now_ms()) > 0;) {
        if (meanwhile && m_base.now_ms() >= turn) {
            meanwhile();
            turn = m_base.now_ms() + meanwhile_ms;
        }
        const std::int64_t sleep = meanwhile ? std::min(left, turn - m_base.now_ms()) : left;
        MsgWaitForMultipleObjectsEx(0, nullptr,
                                    static_cast<DWORD>(std::max<std::int64_t>(sleep, 0)),
                                    QS_ALLINPUT, MWMO_INPUTAVAILABLE);
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
