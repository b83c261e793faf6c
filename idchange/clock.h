// Time as the change command needs it, passed in so that tests fix it.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

namespace qrv {

// What a wait does meanwhile, about every meanwhile_ms: the change's wait
// takes in the line's bytes as they come, so that a port lost later in the
// second does not take them with it.
using Meanwhile = std::function<void()>;
inline constexpr int meanwhile_ms = 25;

class Clock {
public:
    virtual ~Clock() = default;
    // Today's date as "yyyy-mm-dd": names the day log file.
    virtual std::string date_text() = 0;
    // The user's short date, one blank, the time with seconds; no time zone.
    virtual std::string date_time_text() = 0;
    // Waits ms milliseconds on a monotonic clock while the window goes on
    // handling its events, and calls meanwhile (when given) about every
    // meanwhile_ms; returns at once, handling none, when ms <= 0. A program
    // that is quitting may end the wait early.
    virtual void wait_handling_events(int ms, const Meanwhile& meanwhile) = 0;
    // Waits ms milliseconds handling no event at all.
    virtual void sleep_ms(int ms) = 0;
    // Milliseconds on the same monotonic clock, from an arbitrary start.
    virtual std::int64_t now_ms() = 0;
};

// A clock that keeps another's dates and time and waits in a way of its own:
// with the busy pointer, pumping a window's messages, watching the line.
class WaitingClock : public Clock {
public:
    explicit WaitingClock(Clock& base) : m_base(base) {}
    std::string date_text() override { return m_base.date_text(); }
    std::string date_time_text() override { return m_base.date_time_text(); }
    std::int64_t now_ms() override { return m_base.now_ms(); }
    void sleep_ms(int ms) override { m_base.sleep_ms(ms); }

protected:
    Clock& m_base;
};

} // namespace qrv
