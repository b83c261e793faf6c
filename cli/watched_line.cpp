#include "watched_line.h"

#include "frame.h"

#include <algorithm>
#include <chrono>
#include <ctime>

namespace qrv::cli {

std::string time_of_day_text()
{
    using namespace std::chrono;
    const auto now = system_clock::now();
    const std::time_t secs = system_clock::to_time_t(now);
    const std::tm local = *std::localtime(&secs); // one thread: the static result is ours
    char text[16];
    std::snprintf(
        text, sizeof text, "%02d:%02d:%02d.%03d", local.tm_hour, local.tm_min, local.tm_sec,
        static_cast<int>(duration_cast<milliseconds>(now.time_since_epoch()).count() % 1000));
    return text;
}

void WatchedLine::show(const char* what, std::span<const std::uint8_t> bytes)
{
    if (!m_trace || bytes.empty())
        return;
    std::fprintf(m_trace, "%s %s %s\n", time_of_day_text().c_str(), what, hex_bytes(bytes).c_str());
    std::fflush(m_trace);
}

int WatchedLine::take_in(int port)
{
    const int waiting = m_lib.sio_iqueue(port);
    if (waiting <= 0)
        return waiting;
    std::vector<std::uint8_t> got(static_cast<std::size_t>(waiting));
    const int n = m_lib.sio_read(port, got.data(), waiting);
    if (n <= 0)
        return n;
    got.resize(static_cast<std::size_t>(n));
    show("RX", got);
    m_input.insert(m_input.end(), got.begin(), got.end());
    return n;
}

int WatchedLine::sio_close(int port)
{
    m_input.clear();
    return m_lib.sio_close(port);
}

int WatchedLine::sio_write(int port, const std::uint8_t* buf, int len)
{
    if (buf && len > 0)
        show("TX", {buf, static_cast<std::size_t>(len)});
    return m_lib.sio_write(port, buf, len);
}

int WatchedLine::sio_iqueue(int port)
{
    const int status = take_in(port);
    return m_input.empty() && status < 0 ? status : static_cast<int>(m_input.size());
}

int WatchedLine::sio_read(int port, std::uint8_t* buf, int len)
{
    if (!buf || len < 0)
        return sio_bad_arg;
    const int status = take_in(port);
    if (m_input.empty() && status < 0)
        return status;
    const auto n = std::min(m_input.size(), static_cast<std::size_t>(len));
    std::copy_n(m_input.begin(), n, buf);
    m_input.erase(m_input.begin(), m_input.begin() + static_cast<std::ptrdiff_t>(n));
    return static_cast<int>(n);
}

int WatchedLine::sio_flush(int port)
{
    take_in(port);
    show("dropped", m_input);
    m_input.clear();
    return m_lib.sio_flush(port);
}

int WatchedLine::sio_wait_input(int port, int ms)
{
    if (const int status = m_input.empty() ? watch(port, ms) : 0; status < 0)
        return status;
    return static_cast<int>(m_input.size());
}

int WatchedLine::watch(int port, int ms)
{
    if (const int got = take_in(port); got != 0)
        return got;
    const int waited = m_lib.sio_wait_input(port, ms);
    return waited < 0 ? waited : take_in(port);
}

void LineClock::wait_handling_events(int ms)
{
    const std::int64_t end = m_base.now_ms() + ms;
    for (std::int64_t left = ms; left > 0; left = end - m_base.now_ms()) {
        if (m_line.watch(m_port, static_cast<int>(left)) < 0) {
            // A line that has failed cannot be slept on.
            m_base.wait_handling_events(static_cast<int>(left));
            return;
        }
    }
}

} // namespace qrv::cli
