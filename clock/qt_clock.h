// The clock of the running program: the user's date and time formats, and
// a wait that keeps the window handling its events.
#pragma once

#include "clock.h"

#include <QString>

namespace qrv {

class QtClock : public qrv::Clock {
public:
    std::string date_text() override;
    std::string date_time_text() override;
    void wait_handling_events(int ms, const Meanwhile& meanwhile) override;
    void sleep_ms(int ms) override;
    std::int64_t now_ms() override;
};

// The locale's long time format without its time zone part.
QString time_format_without_zone(const QString& format);

} // namespace qrv
