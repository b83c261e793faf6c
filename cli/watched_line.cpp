#include "watched_line.h"

#include "frame.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
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
    if (m_trace && !bytes.empty())
        m_trace->write(time_of_day_text() + " " + what + " " + hex_bytes(bytes) + "\n");
}

void WatchedLine::arrived(std::span<const std::uint8_t> bytes)
{
    for (const std::uint8_t byte : bytes) {
        if (m_expected.empty()) {
            m_input.push_back(byte);
        } else if (byte == m_expected[m_held.size()]) {
            m_held.push_back(byte);
            if (m_held.size() < m_expected.size())
                continue;
            show("echo", m_held);
            m_echo = Echo::on;
            m_echo_seen = true;
            m_held.clear();
            m_expected.clear();
        } else {
            // No echo: what was held is the line's own. Found out on the
            // first frame, this adapter does not echo.
            if (m_echo == Echo::automatic)
                m_echo = Echo::off;
            m_input.insert(m_input.end(), m_held.begin(), m_held.end());
            m_input.push_back(byte);
            m_held.clear();
            m_expected.clear();
        }
    }
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
    arrived(got);
    return n;
}

int WatchedLine::sio_close(int port)
{
    m_input.clear();
    m_held.clear();
    m_expected.clear();
    return m_lib.sio_close(port);
}

int WatchedLine::sio_write(int port, const std::uint8_t* buf, int len)
{
    const int status = m_lib.sio_write(port, buf, len);
    if (!buf || len <= 0)
        return status;
    const std::span<const std::uint8_t> frame(buf, static_cast<std::size_t>(len));
    if (status != sio_ok) {
        show("TX failed, not sent:", frame);
        return status;
    }
    show("TX", frame);
    // A read's echo is told from the device's answer, which differs from it
    // in its third byte; a write's echo is not, as a device answering from
    // its old address sends the very same bytes. So only reads find it out.
    if (m_echo == Echo::on ||
        (m_echo == Echo::automatic && frame.size() > 1 && frame[1] == fc_read_holding_registers))
        m_expected.assign(frame.begin(), frame.end());
    m_held.clear();
    return status;
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
    m_input.insert(m_input.end(), m_held.begin(), m_held.end());
    show("dropped", m_input);
    m_input.clear();
    m_held.clear();
    m_expected.clear();
    return m_lib.sio_flush(port);
}

int WatchedLine::sio_wait_input(int port, int ms)
{
    if (m_input.empty())
        if (const int waited = m_lib.sio_wait_input(port, ms); waited < 0)
            return waited;
    return sio_iqueue(port);
}

} // namespace qrv::cli
