// The device's side of the pair of wires, free of I/O: what it puts on the
// line, each byte in its place on a grid of byte times at the line's speed,
// so that answers and noise that overlap mix as on real wires (a 1 wins),
// and a frame that comes while the line carries bytes is known as one the
// devices could not hear. Times are nanoseconds since the line's start.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <span>
#include <vector>

namespace qrv::devsim {

using Ns = std::int64_t;

// One byte's time at baud (a start bit, 8 data bits and a stop bit); 0 at
// an unknown speed (0), which paces nothing.
Ns byte_ns(unsigned baud);
// The silence that ends a frame: 3.5 bytes' time, and 1.75 ms above 19200
// baud, where that would be too short for most devices; 0 at an unknown speed.
Ns frame_gap_ns(unsigned baud);

class Wire {
public:
    // Takes up a byte's time (0: unpaced, each put goes out whole at once),
    // while nothing is on the line or waits to go on it; until then it keeps
    // the one it has.
    void pace(Ns now, Ns byte);
    Ns byte() const { return m_byte; }

    struct Put {
        Ns start;            // when its first byte begins
        std::size_t overlap; // how many of its bytes fell on bytes already there
    };
    // Puts bytes on the line from at on, never before what already went out.
    Put put(Ns at, std::span<const std::uint8_t> bytes);
    // The bytes that have fully reached the far end by now, in order, taken
    // off the line.
    std::vector<std::uint8_t> take_due(Ns now);
    // When the next byte has fully reached the far end; none when none waits.
    std::optional<Ns> next_due() const;
    // Whether the line carries a byte at some moment from..to.
    bool busy(Ns from, Ns to) const;

private:
    Ns start_of(std::int64_t slot) const { return m_origin + slot * m_byte; }

    Ns m_origin = 0;
    Ns m_byte = 0;
    std::map<std::int64_t, std::uint8_t> m_slots; // bytes still to go out, by slot
    Ns m_sent_end = 0;                            // when the last byte sent ended
};

} // namespace qrv::devsim
