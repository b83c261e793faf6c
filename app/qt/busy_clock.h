// The change command's clock as the window hands it over: the real one,
// with the busy pointer over the window while the reply is awaited.
#pragma once

#include "clock.h"

class QWidget;

class BusyClock : public qrv::Clock {
public:
    BusyClock(qrv::Clock& clock, QWidget& window) : m_clock(clock), m_window(window) {}

    std::string date_text() override { return m_clock.date_text(); }
    std::string date_time_text() override { return m_clock.date_time_text(); }
    void delay_ms(int ms) override;
    std::int64_t now_ms() override { return m_clock.now_ms(); }

private:
    qrv::Clock& m_clock;
    QWidget& m_window;
};
