// The change command's clock as the window hands it over: the real clock's
// dates and time, and a wait that goes on handling the window's messages,
// so that it stays painted and answering, with the busy pointer over it.
#pragma once

#include "clock.h"

#include <functional>
#include <windows.h>

namespace qrv {

class WindowClock : public qrv::WaitingClock {
public:
    using Dispatch = std::function<void(MSG&)>;
    using Busy = std::function<void(bool)>;
    WindowClock(qrv::Clock& clock, Dispatch dispatch, Busy busy)
        : WaitingClock(clock), m_dispatch(std::move(dispatch)), m_busy(std::move(busy))
    {
    }

    // Until ms have passed on the clock's monotonic time, whatever the
    // messages handled meanwhile; a WM_QUIT among them is posted again after.
    void wait_handling_events(int ms, const Meanwhile& meanwhile) override;

private:
    Dispatch m_dispatch;
    Busy m_busy;
};

} // namespace qrv
