// The clock of the Windows programs: today's date, the user's short date and
// long time as Windows' regional settings format them, and a wait that
// sleeps. No Qt.
#pragma once

#include "clock.h"

namespace qrv {

class Win32Clock : public qrv::Clock {
public:
    std::string date_text() override;
    std::string date_time_text() override;
    // Sleeps, waking for meanwhile; a window that must stay painted waits
    // with a clock of its own.
    void wait_handling_events(int ms, const Meanwhile& meanwhile) override;
    void sleep_ms(int ms) override;
    std::int64_t now_ms() override;
};

} // namespace qrv
