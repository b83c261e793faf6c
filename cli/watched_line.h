// The serial library as qrv-idctl uses it: what the line brings is taken in
// the moment it arrives and, with --verbose, shown with its arrival time,
// as is every frame sent and every byte dropped; an adapter that echoes what
// it sends has the echo taken out; and the clock whose waits sleep on the
// line, so that a reply is seen as it comes.
#pragma once

#include "clock.h"
#include "serial_api.h"
#include "text_sink.h"

#include <span>
#include <vector>

namespace qrv::cli {

// Whether the adapter sends back what the tool sends (RS-485 converters
// whose receiver stays on): found out from the first bytes that follow the
// first read that gets any, or told.
enum class Echo { automatic, on, off };

// Ownership: borrows lib and trace, which outlive it. It keeps what it took
// in for one port, the one the command line opens.
class WatchedLine final : public SerialApi {
public:
    // trace: where the bytes are shown; null shows nothing.
    WatchedLine(SerialApi& lib, TextSink* trace, Echo echo = Echo::automatic)
        : m_lib(lib), m_trace(trace), m_echo(echo)
    {
    }

    int sio_open(int port) override { return m_lib.sio_open(port); }
    int sio_open_device(int port, const std::string& device) override
    {
        return m_lib.sio_open_device(port, device);
    }
    int sio_baud(int port, std::int32_t baud) override { return m_lib.sio_baud(port, baud); }
    int sio_close(int port) override;
    int sio_write(int port, const std::uint8_t* buf, int len) override;
    int sio_iqueue(int port) override;
    int sio_read(int port, std::uint8_t* buf, int len) override;
    int sio_flush(int port) override;
    int sio_wait_input(int port, int ms) override;
    std::string sio_device(int port) const override { return m_lib.sio_device(port); }
    std::string sio_last_error() const override { return m_lib.sio_last_error(); }

    // Sleeps up to ms for the line to bring something, and takes it in: how
    // many bytes came, or the failure of a line that cannot be waited on.
    int watch(int port, int ms);

    // The adapter was found to echo what is sent.
    bool echoes() const { return m_echo_seen; }

private:
    // Takes in what the library holds: how many bytes, or its failure.
    int take_in(int port);
    // Bytes that came: the echo of the frame just sent is taken out.
    void arrived(std::span<const std::uint8_t> bytes);
    void show(const char* what, std::span<const std::uint8_t> bytes);

    SerialApi& m_lib;
    TextSink* m_trace;
    Echo m_echo;
    bool m_echo_seen = false;
    std::vector<std::uint8_t> m_input;
    std::vector<std::uint8_t> m_expected; // the echo still to come of the frame just sent
    std::vector<std::uint8_t> m_held;     // what has come of it so far
};

// Dates from base; waits that watch the line.
class LineClock final : public WaitingClock {
public:
    LineClock(Clock& base, WatchedLine& line, int port)
        : WaitingClock(base), m_line(line), m_port(port)
    {
    }
    void wait_handling_events(int ms) override;

private:
    WatchedLine& m_line;
    int m_port;
};

// The time of day with milliseconds, "HH:MM:SS.mmm", for the trace.
std::string time_of_day_text();

} // namespace qrv::cli
