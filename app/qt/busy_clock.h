// The change command's clock as the window hands it over: the real one,
// with the busy pointer over the window while the reply is awaited.
#pragma once

#include "clock.h"

class QWidget;

namespace qrv {

class BusyClock : public qrv::WaitingClock {
public:
    BusyClock(qrv::Clock& clock, QWidget& window) : WaitingClock(clock), m_window(window) {}
    void wait_handling_events(int ms, const Meanwhile& meanwhile) override;

private:
    QWidget& m_window;
};

} // namespace qrv
