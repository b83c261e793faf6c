// The pair of wires the tool shares with every device on it, and with
// whatever noise the line picks up: the one place that decides when a
// request may go out and which of the bytes that come answer which request.
// Named after the line rather than the port because what it owns is the
// line's timing: the port is only how it is reached.
#pragma once

#include "clock.h"
#include "serial_api.h"

#include <cstdint>
#include <deque>
#include <functional>
#include <span>
#include <vector>

namespace qrv {

// How many bytes a reply takes, judging by what has come of it so far.
using ReplyLength = std::size_t (*)(std::span<const std::uint8_t>);

// What a request takes for its answer: a whole frame with a valid CRC from
// its address (an ID change: from the new one too), of its function or with
// the exception flag, as long as length says.
struct Expect {
    std::uint8_t address;
    std::uint8_t function;
    ReplyLength length;
    std::uint8_t also_from = 0; // a second address its answer may come from; 0: none
};

// What came for one request.
struct Heard {
    std::vector<std::uint8_t> frame;   // its answer, whole; empty: none
    bool late = false;                 // the answer ended after the request's window
    std::size_t stray = 0;             // bytes after the answer, in its window, answering nothing
    std::vector<std::uint8_t> instead; // bytes in its window before any answer, answering nothing
    // Every byte taken in from its going out until the next request, answer
    // or not, as it came: the window judges its second on these. At most
    // max_frame_len.
    std::vector<std::uint8_t> came;
};

// A request is given up on when the line does not fall quiet before it:
// nothing went out. Beside the serial library's failures, never one of them.
inline constexpr int line_busy = -100;

// Milliseconds that bytes take on the wire at baud, 10 bits each (8N1).
std::int64_t wire_ms(std::size_t bytes, std::int32_t baud);

// The Modbus RTU inter-frame gap at baud: 3.5 characters of 11 bits, a fixed
// 1.75 ms above 19200, rounded up to the clock's whole milliseconds; 0 at an
// unknown speed (the window's button, which keeps its own rule).
int quiet_gap_ms(std::int32_t baud);

// A line on an open port. Every byte that comes is taken in with the time it
// came, assembled into frames by CRC over the lengths the requests expect,
// and given to the request it answers: the newest unanswered one with its
// address and function, whenever it comes (after that request's window: a
// late answer). What answers no request is noise: dropped and counted, and
// told to the trace. Nothing that came before a request went out is ever its
// answer. Ownership: borrows serial and clock, which outlive it.
class Line {
public: // late_ms: how long after its window an answer not whole is listened
    // for, where a request asks for it; 0: never.
    Line(SerialApi& serial, int port, Clock& clock, std::int32_t baud = 0, int late_ms = 0);

    SerialApi& serial() const { return m_serial; }
    int port() const { return m_port; }
    Clock& clock() const { return m_clock; }
    std::int32_t baud() const { return m_baud; }
    // Sets the port's speed; the gap and the windows follow it.
    int set_baud(std::int32_t baud);
    // The failure of the line that ended the last call: sio_ok when none.
    int failed() const { return m_failed; }

    // Sends request once the line has been quiet for the gap, what came
    // before taken in and given out first. Its window opens when it has left
    // the wire and lasts window_ms. A number for what comes for it, or the
    // failure (< 0) that kept it from going out: the port's, or line_busy for
    // a line that did not fall quiet within a second.
    std::int64_t send(std::span<const std::uint8_t> request, const Expect& expect, int window_ms);

    // Listens until the answer to request has come whole and the line has
    // fallen quiet after it, or until due (the time the clock tells). True
    // when the answer is whole. Ends early at the user's stop.
    bool await(std::int64_t request, std::int64_t due);
    // The end of its window.
    std::int64_t window_end(std::int64_t request) const;
    // After the window: listens late_ms more for the answer, and on while a
    // frame is still coming.
    bool await_late(std::int64_t request);

    // Takes in what comes for ms, handling it as above; with stoppable, ends
    // early at the user's stop (a change's wait does not).
    void listen(int ms, bool stoppable = true);
    // Listens until every request still without an answer has had late_ms
    // after its window, or, on a line with a device slower than that, as
    // long as the slowest answer yet took and late_ms more; and a frame
    // still coming has come. Before the port is let go, so that no late
    // answer reaches whatever runs next on the line. Ends early at a stop.
    void settle();

    // What came for request so far. A request long past is forgotten: an
    // empty answer.
    Heard heard(std::int64_t request) const;
    // Noise dropped so far, in bytes.
    std::size_t noise_bytes() const { return m_noise; }

    // Asked during waits that may end early: true once the user wants to stop.
    void set_stop(std::function<bool()> stop) { m_stop = std::move(stop); }
    bool stopping() const { return m_stop && m_stop(); }
    // Where noise dropped ("noise") and late answers ("late") are shown.
    using Trace = std::function<void(const char* what, std::span<const std::uint8_t> bytes)>;
    void set_trace(Trace trace) { m_trace = std::move(trace); }

private:
    struct Asked {
        std::int64_t number;
        Expect expect;
        std::int64_t sent_at, window_end;
        Heard heard;
    };
    using Until = std::function<std::int64_t()>;

    bool listen_until(const Until& until, std::int64_t bound, bool stoppable);
    int take_in();
    void frame_pending();
    Asked* claim(std::span<const std::uint8_t> bytes, std::size_t& len);
    void drop(std::size_t from, std::size_t to);
    void consume(std::size_t count);
    const Asked* find(std::int64_t request) const;
    std::int64_t quiet_from() const;

    SerialApi& m_serial;
    int m_port;
    Clock& m_clock;
    std::int32_t m_baud;
    int m_late_ms;
    int m_failed = sio_ok;
    std::deque<Asked> m_asked; // the recent requests, the newest last
    std::int64_t m_next = 0;
    std::vector<std::uint8_t> m_pending;    // taken in, not yet framed nor dropped
    std::vector<std::int64_t> m_pending_at; // when each of them came
    std::int64_t m_last_rx = 0;             // when the last byte came
    bool m_heard_any = false;
    std::size_t m_noise = 0;
    std::int64_t m_slowest = 0; // the longest an answer has taken, from its request
    std::function<bool()> m_stop;
    Trace m_trace;
};

} // namespace qrv
