// The serial library as qrv-idctl's line uses it: with --verbose, what the
// line brings is shown with the time it is taken in, as is every frame sent
// and every byte dropped; an adapter that echoes what it sends has the echo
// taken out.
#pragma once

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

    // The adapter was found to echo what is sent.
    bool echoes() const { return m_echo_seen; }

    // Shows bytes with what they are and the time, when there is a trace.
    void show(const char* what, std::span<const std::uint8_t> bytes);

private:
    // Takes in what the library holds: how many bytes, or its failure.
    int take_in(int port);
    // Bytes that came: the echo of the frame just sent is taken out.
    void arrived(std::span<const std::uint8_t> bytes);

    SerialApi& m_lib;
    TextSink* m_trace;
    Echo m_echo;
    bool m_echo_seen = false;
    std::vector<std::uint8_t> m_input;
    std::vector<std::uint8_t> m_expected; // the echo still to come of the frame just sent
    std::vector<std::uint8_t> m_held;     // what has come of it so far
};

// The time of day with milliseconds, "HH:MM:SS.mmm", for the trace.
std::string time_of_day_text();

} // namespace qrv::cli
