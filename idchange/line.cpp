#include "line.h"

#include "frame.h"

#include <algorithm>
#include <limits>

namespace qrv {

namespace {

// Requests remembered for their late answers: more than a scan sends while
// a slow device's answer is on its way.
constexpr std::size_t remembered = 64;
// A line that never falls quiet is given up on: before a request after
// this long, and after an answer's window, or late answers, after this long.
constexpr int busy_limit_ms = 1000;
constexpr int late_limit_ms = 2000;
// Waits that a stop may end look at it this often.
constexpr int stop_look_ms = 50;

constexpr std::int64_t long_ago = std::numeric_limits<std::int64_t>::min();

} // namespace

std::int64_t wire_ms(std::size_t bytes, std::int32_t baud)
{
    return baud > 0 ? (static_cast<std::int64_t>(bytes) * 10'000 + baud - 1) / baud : 0;
}

int quiet_gap_ms(std::int32_t baud)
{
    if (baud <= 0)
        return 0;
    // 3.5 characters of 11 bits: 38.5 bits a thousand times over, per baud.
    return baud > 19200 ? 2 : static_cast<int>((38'500 + baud - 1) / baud);
}

Line::Line(SerialApi& serial, int port, Clock& clock, std::int32_t baud, int late_ms)
    : m_serial(serial), m_port(port), m_clock(clock), m_baud(baud), m_late_ms(late_ms)
{
}

int Line::set_baud(std::int32_t baud)
{
    const int status = m_serial.sio_baud(m_port, baud);
    if (status == sio_ok)
        m_baud = baud;
    return status;
}

std::int64_t Line::quiet_from() const
{
    // The clock's milliseconds are cut, not rounded: one more makes sure.
    const int gap = quiet_gap_ms(m_baud);
    return m_heard_any && gap > 0 ? m_last_rx + gap + 1 : long_ago;
}

std::int64_t Line::send(std::span<const std::uint8_t> request, const Expect& expect, int window_ms)
{
    m_failed = sio_ok;
    const bool quiet =
        listen_until([this] { return quiet_from(); }, m_clock.now_ms() + busy_limit_ms, false);
    if (m_failed != sio_ok)
        return m_failed;
    if (!quiet)
        return m_failed = line_busy;
    // Whatever came before this request is no answer of its.
    drop(0, m_pending.size());
    consume(m_pending.size());
    int status = m_serial.sio_flush(m_port);
    if (status == sio_ok)
        status = m_serial.sio_write(m_port, request.data(), static_cast<int>(request.size()));
    if (status != sio_ok)
        return m_failed = status;
    const std::int64_t now = m_clock.now_ms();
    m_asked.push_back({m_next, expect, now, now + wire_ms(request.size(), m_baud) + window_ms, {}});
    if (m_asked.size() > remembered)
        m_asked.pop_front();
    return m_next++;
}

bool Line::await(std::int64_t request, std::int64_t due)
{
    const auto whole = [this, request] {
        const Asked* asked = find(request);
        return asked && !asked->heard.frame.empty();
    };
    // Bytes still coming when the window ends may be the answer, late.
    listen_until(
        [&] {
            return whole() ? quiet_from() : m_pending.empty() ? due : std::max(due, quiet_from());
        },
        std::max(due, m_clock.now_ms()) + busy_limit_ms, true);
    return whole();
}

std::int64_t Line::window_end(std::int64_t request) const
{
    const Asked* asked = find(request);
    return asked ? asked->window_end : long_ago;
}

bool Line::await_late(std::int64_t request)
{
    return await(request, m_clock.now_ms() + m_late_ms);
}

void Line::listen(int ms, bool stoppable)
{
    const std::int64_t end = m_clock.now_ms() + ms;
    listen_until([end] { return end; }, end, stoppable);
}

void Line::settle()
{
    if (m_late_ms <= 0)
        return;
    // Noise does not hold it up: only a frame still coming does.
    listen_until(
        [this] {
            std::int64_t end = long_ago;
            for (const Asked& asked : m_asked)
                if (asked.heard.frame.empty())
                    end = std::max(
                        {end, asked.window_end + m_late_ms, asked.sent_at + m_slowest + m_late_ms});
            return m_pending.empty() ? end : std::max(end, quiet_from());
        },
        m_clock.now_ms() + late_limit_ms, true);
}

bool Line::listen_until(const Until& until, std::int64_t bound, bool stoppable)
{
    for (;;) {
        if (const int status = take_in(); status < 0) {
            m_failed = status;
            return false;
        }
        const std::int64_t now = m_clock.now_ms(), end = until();
        if (now >= end)
            return true;
        if (now >= bound || (stoppable && stopping()))
            return false;
        std::int64_t slice = std::min(end, bound) - now;
        if (stoppable)
            slice = std::min<std::int64_t>(slice, stop_look_ms);
        if (const int waited = m_serial.sio_wait_input(m_port, static_cast<int>(slice));
            waited < 0) {
            m_failed = waited;
            return false;
        }
    }
}

int Line::take_in()
{
    for (;;) {
        const int waiting = m_serial.sio_iqueue(m_port);
        if (waiting <= 0)
            return waiting;
        std::uint8_t buf[max_frame_len];
        const int n = m_serial.sio_read(m_port, buf, std::min<int>(waiting, sizeof buf));
        if (n <= 0)
            return n;
        const std::int64_t now = m_clock.now_ms();
        if (!m_asked.empty()) {
            std::vector<std::uint8_t>& came = m_asked.back().heard.came;
            came.insert(came.end(), buf,
                        buf + std::min<std::size_t>(n, max_frame_len - came.size()));
        }
        m_pending.insert(m_pending.end(), buf, buf + n);
        m_pending_at.insert(m_pending_at.end(), static_cast<std::size_t>(n), now);
        m_last_rx = now;
        m_heard_any = true;
        frame_pending();
    }
}

void Line::frame_pending()
{
    std::size_t done = 0; // the bytes before are framed or dropped
    for (std::size_t at = 0; at < m_pending.size(); ++at) {
        std::size_t len = 0;
        Asked* asked = claim(std::span(m_pending).subspan(at), len);
        if (!asked)
            continue;
        drop(done, at);
        asked->heard.frame.assign(m_pending.begin() + static_cast<std::ptrdiff_t>(at),
                                  m_pending.begin() + static_cast<std::ptrdiff_t>(at + len));
        asked->heard.late = m_pending_at[at + len - 1] > asked->window_end;
        m_slowest = std::max(m_slowest, m_pending_at[at + len - 1] - asked->sent_at);
        if (asked->heard.late && m_trace)
            m_trace("late", asked->heard.frame);
        at += len - 1;
        done = at + 1;
    }
    // What lies further back than the longest frame begins none still coming.
    if (m_pending.size() - done > max_frame_len) {
        drop(done, m_pending.size() - max_frame_len);
        done = m_pending.size() - max_frame_len;
    }
    consume(done);
}

Line::Asked* Line::claim(std::span<const std::uint8_t> bytes, std::size_t& len)
{
    if (bytes.size() < 2)
        return nullptr;
    for (auto it = m_asked.rbegin(); it != m_asked.rend(); ++it) {
        const Expect& e = it->expect;
        const bool from = bytes[0] == e.address || (e.also_from != 0 && bytes[0] == e.also_from);
        if (!from || (bytes[1] & ~exception_flag & 0xFF) != e.function)
            continue;
        const std::size_t n = e.length(bytes);
        if (n > bytes.size() || !frame_crc_ok(bytes.first(n)))
            continue;
        // A second answer to the newest request is a second device's: stray,
        // and no earlier request's.
        if (!it->heard.frame.empty()) {
            if (it == m_asked.rbegin())
                return nullptr;
            continue;
        }
        len = n;
        return &*it;
    }
    return nullptr;
}

namespace {

// Bytes of noise that came in a request's window: what came instead of its
// answer, or after it.
void count_in(Heard& heard, std::span<const std::uint8_t> bytes,
              std::span<const std::int64_t> times, std::int64_t window_end)
{
    for (std::size_t i = 0; i < bytes.size() && times[i] <= window_end; ++i) {
        if (heard.frame.empty())
            heard.instead.push_back(bytes[i]);
        else
            ++heard.stray;
    }
}

} // namespace

void Line::drop(std::size_t from, std::size_t to)
{
    if (from >= to)
        return;
    const std::span<const std::uint8_t> bytes(m_pending.data() + from, to - from);
    m_noise += bytes.size();
    if (m_trace)
        m_trace("noise", bytes);
    if (!m_asked.empty())
        count_in(m_asked.back().heard, bytes, std::span(m_pending_at).subspan(from, to - from),
                 m_asked.back().window_end);
}

void Line::consume(std::size_t count)
{
    m_pending.erase(m_pending.begin(), m_pending.begin() + static_cast<std::ptrdiff_t>(count));
    m_pending_at.erase(m_pending_at.begin(),
                       m_pending_at.begin() + static_cast<std::ptrdiff_t>(count));
}

const Line::Asked* Line::find(std::int64_t request) const
{
    if (m_asked.empty() || request < m_asked.front().number || request > m_asked.back().number)
        return nullptr;
    return &m_asked[static_cast<std::size_t>(request - m_asked.front().number)];
}

Heard Line::heard(std::int64_t request) const
{
    const Asked* asked = find(request);
    if (!asked)
        return {};
    Heard heard = asked->heard;
    // What the newest request's window brought that frames nothing yet.
    if (asked == &m_asked.back())
        count_in(heard, m_pending, m_pending_at, asked->window_end);
    return heard;
}

} // namespace qrv
