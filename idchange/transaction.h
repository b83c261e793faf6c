// The exchanges of the tool with a device on an open port, free of any
// window: the ID change with its one-second wait and its verdict, and the
// read of the ID register. Both front ends run their changes through here;
// what happened is returned, and the front end tells the user.
#pragma once

#include "clock.h"
#include "frame.h"
#include "serial_api.h"
#include "window_state.h"

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace qrv {

enum class Verdict {
    refused,  // an entry check failed: nothing sent, nothing filed
    busy,     // an attempt is already waiting for its reply: nothing done
    success,  // the echo came from the new address with a valid CRC
    mismatch, // 8 bytes came, but from another address or corrupt
    no_reply, // not exactly 8 bytes waiting after the wait
};

// The name of a verdict in qrv-idctl's JSON: "refused", ..., "no_reply".
const char* to_string(Verdict verdict);

// The window's result text of a success, a mismatch or no reply.
const char* verdict_text(Verdict verdict);

// A port open in serial, the clock that times its waits, and its speed
// (0 when unknown), which tells how long a request takes to go out.
struct OpenPort {
    SerialApi& serial;
    int port;
    Clock& clock;
    std::int32_t baud = 0;
    // How long the line must have been quiet, after an answer that did not
    // come whole, before anything else is sent: a late answer must not be
    // taken for the next request's. 0: no such wait (the window's button).
    int guard_ms = 0;
    // The last answer did not come whole: the rest may still be on its way.
    bool unsettled = false;
};

inline constexpr int reply_wait_ms = 1000;
// The command line's guard: a device that answers up to this much after its
// window is still heard before the next request goes out.
inline constexpr int line_guard_ms = 400;

// Discards what is waiting (a late answer to an earlier request must not be
// taken for this one's), sends the request, waits reply_wait_ms and takes the
// reply when exactly 8 bytes are waiting then; nothing otherwise.
std::optional<FrameBuf> exchange_change(OpenPort& port, const FrameBuf& request);

// Success only for an echo from the new address with a valid CRC.
Verdict judge_change(std::span<const std::uint8_t> reply, std::uint8_t new_id);

// What one attempt of a change did.
struct ChangeOutcome {
    Verdict verdict = Verdict::no_reply;
    std::vector<std::uint8_t> reply; // the 8 bytes taken after the wait, if 8 were waiting
    std::string log_path;            // the day log of the attempt
    int log_error = 0;               // 0: the record is in the day log; else why not (errno)
    bool filed() const { return log_error == 0; }
};

// Runs after the verdict, before the result line: the window shows its
// message there. Returns a line that the entry gets after the result text,
// or nothing.
using BeforeResult = std::function<std::string(const ChangeOutcome&)>;

// One attempt of the change button once its checks have passed: today's day
// log created in folder before anything is sent, the request from old_id to
// new_id with the whole entry in log, the reply judged, and the entry added
// to the day log as one record. Shows no message.
ChangeOutcome run_logged_change(LogText& log, OpenPort& port, const std::string& folder,
                                std::uint8_t old_id, std::uint8_t new_id,
                                const BeforeResult& before_result = {});

// How long a device is given to answer a read at that speed: 100 ms, the
// turnaround of common devices with room to spare, and the reply's own time
// on the wire.
int default_read_timeout_ms(std::int32_t baud);

// Discards what is waiting, sends the read of register 10 at id and takes
// the answer until it is whole or timeout_ms have passed since the request
// went out. On a port with a guard, an answer not whole by then is listened
// for on until the line has been quiet for the guard, and taken as late; a
// scan's probe listens no longer than its window. Sleeps while it waits.
ReadReply exchange_read(OpenPort& port, std::uint8_t id, int timeout_ms, bool probe = false);

// When the last answer did not come whole, waits until the line has been
// quiet for the port's guard and drops what came meanwhile; before a
// request, and before the port is let go. A line that never falls quiet is
// given up on after a while.
void settle(OpenPort& port);

} // namespace qrv
