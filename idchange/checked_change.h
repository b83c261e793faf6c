// An ID change with the checks around it that the window does not make: the
// new ID is asked first whether it is free, and the device is read back at
// its new ID afterwards.
#pragma once

#include "transaction.h"

namespace qrv {

struct ChangeChecks {
    bool check_free = true; // read register 10 at the new ID before
    bool verify = true;     // and again after a success
    int read_timeout_ms = 100;
    int confirm_ms = 1000; // how long the read-back asks again for the new ID
    // Asked between the steps: true once the user wants to stop. Nothing is
    // sent after that, but a change already sent runs to its record.
    std::function<bool()> stop;
};

struct CheckedChange {
    enum class Outcome {
        confirmed,   // the device answers at its new ID with the new ID
        moved,       // so it does, though its echo was missing, late or from the old address
        unverified,  // the change succeeded; it was not read back
        unconfirmed, // the change succeeded, but the device does not answer so at its new ID
        taken,       // something answered at the new ID: nothing was sent to the old one
        refused,     // the device answered the change with an exception
        mismatch,    // the window's mismatch verdict, and nothing at the new ID
        no_reply,    // the window's no-reply verdict, and nothing at the new ID
        not_sent,    // the request could not be written: nothing went out
        port_lost,   // the request went out, but the port failed before the reply came
        not_run,     // stopped before the change was sent
    } outcome = Outcome::not_run;
    std::optional<ReadReply> before; // the read at the new ID before the change, if made
    std::optional<ReadReply> after;  // the last read at the new ID after it, if made
    ChangeOutcome change;            // the attempt, when one was sent
    bool stopped = false;            // the user's stop left out the change or the read-back
    int line_status = sio_ok;        // the line's failure that ended it, sio_ok when none
    std::string readback;            // what the read-back found, the entry's last line
    std::string text;                // the outcome as a technician reads it
};

// The name of an outcome in qrv-idctl's JSON: "confirmed", ..., "not_run".
const char* to_string(CheckedChange::Outcome outcome);

// The change from old_id to new_id as the window's attempt makes it, between
// the two reads that checks asks for, taking replies by their own length.
// The read-back asks again until the
// device answers at the new ID with it, or confirm_ms have passed; it is
// made after no echo or a wrong one too, as a device may have moved all the
// same. Its outcome ends the entry, so the day log says what the tool says.
// A line that fails ends it, its status in line_status.
CheckedChange checked_change(OpenPort& port, const std::string& folder, std::uint8_t old_id,
                             std::uint8_t new_id, const ChangeChecks& checks);

} // namespace qrv
