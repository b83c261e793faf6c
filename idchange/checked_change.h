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
};

struct CheckedChange {
    enum class Outcome {
        confirmed,  // the device answers at its new ID with the new ID
        unverified, // the change succeeded; reading back was not asked for
        taken,      // something answered at the new ID: nothing was sent to the old one
        mismatch,   // the window's mismatch verdict
        no_reply,   // the window's no-reply verdict
        unconfirmed // the change succeeded, but the device does not answer so at its new ID
    } outcome = Outcome::no_reply;
    ReadReply before; // the read at the new ID before the change
    ReadReply after;  // the read at the new ID after it
};

// The change from old_id to new_id as run_logged_change makes it, entry and
// day log included, between the two reads that checks asks for.
CheckedChange checked_change(LogText& log, MessageSink& messages, OpenPort& port,
                             const std::string& folder, std::uint8_t old_id, std::uint8_t new_id,
                             const ChangeChecks& checks);

} // namespace qrv
