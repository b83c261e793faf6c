// An ID change with the checks around it that the window does not make: the
// old ID is asked whether one device answers there and the new one whether
// it is free, and the device is read back at its new ID afterwards.
#pragma once

#include "transaction.h"

namespace qrv {

// How long the read-back asks, by default, after the change's wait: long
// enough for firmware that restarts for two seconds to take its new ID.
inline constexpr int default_confirm_ms = 2500;

struct ChangeChecks {
    bool check_old = true;  // read register 10 at the old ID before
    bool check_free = true; // and at the new ID
    bool verify = true;     // and again after a success
    int read_timeout_ms = 100;
    int confirm_ms = default_confirm_ms; // how long the read-back asks again for the new ID
};

struct Presence {
    AtAddress at = AtAddress::nothing;
    ReadReply reply;           // what came, as a read says it
    std::int64_t request = -1; // the last read on the line, for a late answer
};

// Reads register 10 at id, and once more when more than one device seems to
// answer: two devices answering over each other do so again, noise does
// not. late as for read_register. Nothing is asked again once the user
// stops, or the line fails.
Presence presence_at(Line& line, std::uint8_t id, int timeout_ms, bool late);

struct CheckedChange {
    enum class Outcome {
        confirmed,    // the device answers at its new ID with the new ID
        moved,        // so it does, though its echo was missing, late, from the old address, or
                      // an exception that says it is at work (05, 06)
        unverified,   // the change succeeded; it was not read back
        unconfirmed,  // the change succeeded, but the device does not answer so at its new ID
        taken,        // something answered at the new ID: nothing was sent to the old one
        no_device,    // nothing answered at the old ID: nothing was sent
        already_done, // nothing at the old ID, and the new ID answers with itself: nothing sent
        several,      // more than one device answered at the old ID: nothing was sent
        refused,      // the device answered the change with an exception
        mismatch,     // the window's mismatch verdict, and nothing at the new ID
        no_reply,     // the window's no-reply verdict, and nothing at the new ID
        not_sent,     // the request could not be written: nothing went out
        port_lost,    // the request went out, but the port failed before it was confirmed
        not_run,      // stopped before the change was sent
    } outcome = Outcome::not_run;
    std::optional<ReadReply> source; // the read at the old ID before the change, if made
    std::optional<ReadReply> before; // the read at the new ID before the change, if made
    std::optional<ReadReply> after;  // the last read at the new ID after it, if made
    ChangeOutcome change;            // the attempt, when one was sent
    bool stopped = false;            // the user's stop left out the change or the read-back
    int line_status = sio_ok;        // the line's failure that ended it, sio_ok when none
    std::string readback;            // what the read-back found
    std::string text;                // the outcome as a technician reads it; the record's last line
};

// The name of an outcome in qrv-idctl's JSON: "confirmed", ..., "not_run".
const char* to_string(CheckedChange::Outcome outcome);

// The change from old_id to new_id as the window's attempt makes it, between
// the reads that checks asks for, taking the line's frame for its answer.
// The read-back asks every quarter second until the device answers at the
// new ID with it, or confirm_ms have passed since the change's wait; it is
// made after no echo, a wrong one or an exception 05 or 06 too, as a device
// may have moved all the same. The record ends with the outcome's text, so
// the day log says what the tool says. A line that fails ends it, its
// status in line_status. The line's stop is asked between the steps: nothing
// is sent after it, but a change already sent runs to its record.
CheckedChange checked_change(Line& line, const std::string& folder, std::uint8_t old_id,
                             std::uint8_t new_id, const ChangeChecks& checks);

} // namespace qrv
