// The exchanges of the tool with a device on an open port, free of any
// window: the ID change with its one-second wait and its verdict, and the
// read of the ID register. Both front ends run their changes through here.
#pragma once

#include "clock.h"
#include "frame.h"
#include "serial_api.h"
#include "window_state.h"

#include <optional>
#include <string>

namespace qrv {

enum class Verdict {
    refused,  // an entry check failed: nothing sent, nothing filed
    busy,     // an attempt is already waiting for its reply: nothing done
    success,  // the echo came from the new address with a valid CRC
    mismatch, // 8 bytes came, but from another address or corrupt
    no_reply, // not exactly 8 bytes waiting after the wait
};

// A port open in serial, the clock that times its waits, and its speed
// (0 when unknown), which tells how long a request takes to go out.
struct OpenPort {
    SerialApi& serial;
    int port;
    Clock& clock;
    std::int32_t baud = 0;
};

inline constexpr int reply_wait_ms = 1000;

// The ID byte of a box text that passed the entry checks: its nearest integer.
std::uint8_t id_byte(const std::string& text);

// Discards what is waiting (a late answer to an earlier request must not be
// taken for this one's), sends the request, waits reply_wait_ms and takes the
// reply when exactly 8 bytes are waiting then; nothing otherwise.
std::optional<FrameBuf> exchange_change(OpenPort& port, const FrameBuf& request);

// Success only for an echo from the new address with a valid CRC.
Verdict judge_change(std::span<const std::uint8_t> reply, std::uint8_t new_id);

// One attempt of the change button once its checks have passed, with the IDs
// as their boxes show them: the entry in log, a message for a failure before
// its result line, and the entry added to today's day log in folder, with a
// message of its own when that fails.
Verdict run_logged_change(LogText& log, MessageSink& messages, OpenPort& port,
                          const std::string& folder, const std::string& old_text,
                          const std::string& new_text);

// How long a device is given to answer a read at that speed: 100 ms, the
// turnaround of common devices with room to spare, and the reply's own time
// on the wire.
int default_read_timeout_ms(std::int32_t baud);

// Discards what is waiting, sends the read of register 10 at id and takes
// the answer until it is whole or timeout_ms have passed since the request
// went out. Sleeps while it waits.
ReadReply exchange_read(OpenPort& port, std::uint8_t id, int timeout_ms);

} // namespace qrv
