// The change command's clock as the window hands it over: the real clock's
// dates and time, and a wait that goes on handling the window's messages,
// so that it stays painted and answering, with the busy pointer over it.
#pragma once

#include "clock.h"

#include <functional>
#include <windows.h>

class WindowClock : public qrv::Clock {
public:
    using Dispatch = std::function<void(MSG&)>;
    using Busy = std::function<void(bool)>;
    WindowClock(qrv::Clock& clock, Dispatch dispatch, Busy busy)
        : m_clock(clock), m_dispatch(std::move(dispatch)), m_busy(std::move(busy))
    {
    }

    std::string date_text() override { return m_clock.date_text(); }
    std::string date_time_text() override { return m_clock.date_time_text(); }
    // Until ms have passed on the clock's monotonic time, whatever the
    // messages handled meanwhile; a WM_QUIT among them is posted again after.
    void delay_ms(int ms) override;
    std::int64_t now_ms() override { return m_clock.now_ms(); }

private:
    qrv::Clock& m_clock;
    Dispatch m_dispatch;
    Busy m_busy;
};
