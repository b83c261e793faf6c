// The exchanges of the tool with a device on the line, free of any
// window: the ID change with its one-second wait and its verdict, and the
// read of the ID register. Both front ends run their changes through here;
// what happened is returned, and the front end tells the user.
#pragma once

#include "frame.h"
#include "line.h"
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
    no_reply,  // not exactly 8 bytes came within the wait, nor an exception
    exception, // the device answered with an exception reply
    moved,     // no echo said so, but the window found the device at its new ID
    not_sent,  // the request could not be written: nothing went out
    port_lost, // the request went out, but the port failed before the reply could be taken
};

// The name of a verdict in qrv-idctl's JSON: "refused", ..., "port_lost".
const char* to_string(Verdict verdict);

inline constexpr int reply_wait_ms = 1000;
// The command line's patience with an answer not whole in its window: it
// listens this long more.
inline constexpr int late_answer_ms = 400;

// Success only for an echo from the new address with a valid CRC.
Verdict judge_change(std::span<const std::uint8_t> reply, std::uint8_t new_id);

// What one attempt of a change did. One convention for what failed: the
// serial library's status for the line, an errno value for the day log.
struct ChangeOutcome {
    Verdict verdict = Verdict::no_reply;
    std::vector<std::uint8_t> reply; // what the entry shows came: the answer, or what came instead
    int line_status = sio_ok;        // the failure of the call that ended the exchange
    std::string readback;            // the window's read at the new ID after no echo, where it
                                     // has something to say: what it found
    std::string entry;               // the attempt's own entry, as the box shows it
    std::string log_path;            // the day log of the attempt
    int log_error = 0;               // 0: the entry is in the day log; else why not (errno)
    bool filed() const { return log_error == 0; }
    bool port_gone() const { return line_status == sio_port_gone; }
};

// The result line of an attempt: the window's texts for its three verdicts,
// a refusal, a device found moved, and what a request that never went out or
// a port that failed says.
std::string result_text(const ChangeOutcome& outcome);

// What a change's answer and a read at its new ID say, judged alike by the
// command line and the window. confirms: the read found the device at
// new_id, answering with it.
bool confirms(const ReadReply& reply, std::uint8_t new_id);
// An exception that says the device took the change and is at work on it
// (05), or is too busy to say (06): it may have moved all the same.
bool at_work(const ChangeOutcome& change, bool busy_too = true);
// The device said it took the change: its echo, or an acknowledge.
bool answered(const ChangeOutcome& change);
// Why a device found at its new ID was not heard taking it: its echo was
// missing, late, from its old address, or an exception. echo: what came for
// the change request.
std::string why_unheard(const ChangeOutcome& change, const Heard& echo, std::uint8_t old_id);

// One attempt of a change once its checks have passed, in straight steps.
// The attempt writes its own entry, in box as well when there is one, and
// files that text: never what a box holds. Shows no message.
class ChangeAttempt {
public:
    // Begins: today's day log created in folder before anything is sent, the
    // request from old_id to new_id built, the entry begun with its sent line.
    // framed_wait_ms 0: the window's way, judged on every byte that came
    // within reply_wait_ms: exactly 8, or an exception from the old ID; the
    // bytes are taken in as they come, so that a port lost later in the
    // second keeps them. Without a success, the device is looked for once at
    // its new ID. Else the command line's: the answer is the line's frame for
    // the request after that wait, an echo or an exception taken by its own
    // length, whatever else came.
    ChangeAttempt(LogText* box, Line& line, const std::string& folder, std::uint8_t old_id,
                  std::uint8_t new_id, int framed_wait_ms = 0);
    ChangeAttempt(const ChangeAttempt&) = delete;
    ChangeAttempt& operator=(const ChangeAttempt&) = delete;

    // Sends the request once the line is free, waits and takes the reply;
    // the window's way, looks for a moved device. A request that could not
    // be written is not waited for.
    void exchange();
    // Ends the entry: the result line, or conclusion in its place when given
    // (the command line's, which says what it concluded from the reads
    // around the change too), and the star line; then files it as one record.
    const ChangeOutcome& finish(const std::string& conclusion = {});
    // The program is ending: a wait still under way is slept out without
    // handling events, the device looked for, and the attempt finished and
    // filed now.
    void finish_now();

    Verdict verdict() const { return m_outcome.verdict; }
    const ChangeOutcome& outcome() const { return m_outcome; }
    bool finished() const { return m_step == Step::finished; }
    // The request on the line, for its answer should it come late; < 0: none went out.
    std::int64_t request() const { return m_asked; }

private:
    enum class Step { begun, waiting, exchanged, finished };
    void write(const std::string& text);
    void take_reply();
    void judge_second(std::span<const std::uint8_t> came);
    void look_for_moved();
    void take_framed();
    void accept(std::span<const std::uint8_t> reply, Verdict verdict);

    LogText* m_box;
    Line& m_line;
    Frame m_request;
    std::uint8_t m_new_id;
    int m_framed_wait_ms;
    std::int64_t m_asked = -1;
    std::int64_t m_reply_due = 0;
    Step m_step = Step::begun;
    ChangeOutcome m_outcome;
};

// How long a device is given to answer a read at that speed: 100 ms, the
// turnaround of common devices with room to spare, and the reply's own time
// on the wire.
int default_read_timeout_ms(std::int32_t baud);

// What a read's answer says: its frame judged, late and with its stray
// bytes; without one, what came instead.
ReadReply read_reply(const Heard& heard, std::uint8_t id);

// What answers at an address: nothing, one device, or more than one talking
// at once (a garble, or a second answer behind the first).
enum class AtAddress { nothing, one_device, several };

// What the answer to a request to id says of who is at id: bytes that answer
// nothing count only when they are as long as an answer; shorter, they are
// noise, and a whole answer from another address is someone else's.
AtAddress presence_of(const Heard& heard, std::uint8_t id);

// A read of register 10 at id that went out, or not: the request on the
// line, what came for it and what that says.
struct Read {
    std::int64_t request = -1;
    Heard heard;
    ReadReply reply;
};

// Sends the read of register 10 at id once the line is free and takes its
// answer until it is whole or timeout_ms have passed since the request left
// the wire; with late, on while the line's late_ms say so (a scan's probe
// waits its window only: the scan listens for late answers at its end). A
// request that cannot be written, or a line that fails, is said by the kind,
// the status in line.failed().
Read read_register(Line& line, std::uint8_t id, int timeout_ms, bool late = true);
inline ReadReply exchange_read(Line& line, std::uint8_t id, int timeout_ms, bool late = true)
{
    return read_register(line, id, timeout_ms, late).reply;
}

// The same for the read of the device's identification: its reply may be
// as long as a frame can be; a device without one answers with an exception.
IdentifyReply exchange_identify(Line& line, std::uint8_t id, int timeout_ms, bool late = true);

} // namespace qrv
