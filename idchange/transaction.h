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
    refused,   // an entry check failed: nothing sent, nothing filed
    busy,      // an attempt is already running: nothing done
    success,   // the echo came from the new address with a valid CRC
    mismatch,  // 8 bytes came, but from another address or corrupt
    no_reply,  // not exactly 8 bytes waiting after the wait
    exception, // the device refused with an exception reply (taken by length only)
    not_sent,  // the request could not be written: nothing went out
    port_lost, // the request went out, but the port failed before the reply could be taken
};

// The name of a verdict in qrv-idctl's JSON: "refused", ..., "port_lost".
const char* to_string(Verdict verdict);

// A port open in serial, the clock that times its waits, and its speed
// (0 when unknown), which tells how long a request takes to go out.
struct OpenPort {
    OpenPort(SerialApi& serial_, int port_, Clock& clock_, std::int32_t baud_ = 0,
             int guard_ms_ = 0)
        : serial(serial_), port(port_), clock(clock_), baud(baud_), guard_ms(guard_ms_)
    {
    }

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
    // A reply to a change is taken by its own length, 8 bytes or a 5-byte
    // exception, whatever follows it: the command line's way. The window
    // takes exactly 8 bytes waiting after the second, as designed.
    bool by_length = false;
    // The failure of the line that ended the last exchange; sio_ok when none.
    int failed = sio_ok;
    // What the line brought while it settled, since whoever looks at it last
    // emptied it.
    std::vector<std::uint8_t> settled;
};

inline constexpr int reply_wait_ms = 1000;
// The command line's guard: a device that answers up to this much after its
// window is still heard before the next request goes out.
inline constexpr int line_guard_ms = 400;

// Success only for an echo from the new address with a valid CRC.
Verdict judge_change(std::span<const std::uint8_t> reply, std::uint8_t new_id);

// What one attempt of a change did. One convention for what failed: the
// serial library's status for the line, an errno value for the day log.
struct ChangeOutcome {
    Verdict verdict = Verdict::no_reply;
    std::vector<std::uint8_t> reply; // the reply taken after the wait: 8 bytes, or an exception's 5
    int line_status = sio_ok;        // the failure of the call that ended the exchange
    std::string entry;               // the attempt's own entry, as the box shows it
    std::string log_path;            // the day log of the attempt
    int log_error = 0;               // 0: the entry is in the day log; else why not (errno)
    bool filed() const { return log_error == 0; }
    bool port_gone() const { return line_status == sio_port_gone; }
};

// The result line of an attempt: the window's texts for its three verdicts,
// and what a request that never went out or a port that failed says.
std::string result_text(const ChangeOutcome& outcome);

// One attempt of a change once its checks have passed, in straight steps.
// The attempt writes its own entry, in box as well when there is one, and
// files that text: never what a box holds. Shows no message.
class ChangeAttempt {
public:
    // Begins: today's day log created in folder before anything is sent, the
    // request from old_id to new_id built, the entry begun with its sent line.
    ChangeAttempt(LogText* box, OpenPort& port, const std::string& folder, std::uint8_t old_id,
                  std::uint8_t new_id);
    ChangeAttempt(const ChangeAttempt&) = delete;
    ChangeAttempt& operator=(const ChangeAttempt&) = delete;

    // Sends the request on a line emptied of late answers, waits
    // reply_wait_ms and takes the reply when exactly 8 bytes are waiting
    // then. A request that could not be written is not waited for.
    void exchange();
    // Ends the entry: the result line, more on a line of its own when not
    // empty, the star line; then files it as one record.
    const ChangeOutcome& finish(const std::string& more = {});
    // The program is ending: a wait still under way is slept out without
    // handling events, and the attempt finished and filed now.
    void finish_now();

    Verdict verdict() const { return m_outcome.verdict; }
    const ChangeOutcome& outcome() const { return m_outcome; }
    bool finished() const { return m_step == Step::finished; }

private:
    enum class Step { begun, waiting, exchanged, finished };
    void write(const std::string& text);
    void take_reply();
    void take_by_length(int waiting);
    void accept(std::span<const std::uint8_t> reply, Verdict verdict);

    LogText* m_box;
    OpenPort& m_port;
    Frame m_request;
    std::uint8_t m_new_id;
    std::int64_t m_reply_due = 0;
    Step m_step = Step::begun;
    ChangeOutcome m_outcome;
};

// How long a device is given to answer a read at that speed: 100 ms, the
// turnaround of common devices with room to spare, and the reply's own time
// on the wire.
int default_read_timeout_ms(std::int32_t baud);

// Discards what is waiting, sends the read of register 10 at id and takes
// the answer until it is whole or timeout_ms have passed since the request
// went out. On a port with a guard, an answer not whole by then is listened
// for on until the line has been quiet for the guard, and taken as late; a
// scan's probe listens no longer than its window. Sleeps while it waits.
// Bytes after a whole answer are dropped and counted. A request that cannot
// be written, or a line that fails, is said by the kind, its status kept in
// port.failed.
ReadReply exchange_read(OpenPort& port, std::uint8_t id, int timeout_ms, bool probe = false);

// When the last answer did not come whole, waits until the line has been
// quiet for the port's guard and drops what came meanwhile, added to
// port.settled; before a request, and before the port is let go. A line
// that never falls quiet is given up on after a while.
void settle(OpenPort& port);

// The same for the read of the device's identification: its reply may be
// as long as a frame can be; a device without one answers with an exception.
IdentifyReply exchange_identify(OpenPort& port, std::uint8_t id, int timeout_ms,
                                bool probe = false);

} // namespace qrv
