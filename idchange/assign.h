// Numbering a box of new devices that all leave the factory at one address:
// each, as it is connected, is moved to the next free ID of a list, and stays
// on the line there while the next one is connected.
#pragma once

#include "checked_change.h"

#include <functional>
#include <vector>

namespace qrv {

struct AssignPlan {
    std::uint8_t from = 1;        // the address every new device answers at
    std::vector<std::uint8_t> to; // the IDs to give, in this order
    ChangeChecks checks;          // of each change
    bool keep_going = false;      // a device that is not confirmed does not end the run
    int ask_every_ms = 500;       // how often the wait asks at from
};

// What the run is doing, for whoever shows it as it happens.
struct AssignEvent {
    enum class Kind {
        waiting,  // asked at from, nothing there yet (at each ask)
        several,  // something answered at from, but not one device: said once until it is
        changing, // a device was heard at from: it is being given id
        skipped,  // the next ID is taken: change.before holds what answered there
        changed,  // a device was moved, or tried: change holds how it went
        removal,  // after a failure, waiting for the device to be taken off the line
    } kind;
    std::size_t devices = 0;               // devices connected so far
    std::uint8_t id = 0;                   // the ID skipped or given; waiting: the next to give
    const ReadReply* reply = nullptr;      // several: what came
    const CheckedChange* change = nullptr; // skipped, changed
};

// A device connected, the ID it was to take, and how its change went.
struct AssignedDevice {
    std::uint8_t to;
    CheckedChange change;
};

struct AssignResult {
    std::vector<AssignedDevice> devices; // each device connected, in order
    std::vector<std::uint8_t> skipped;   // IDs of the list found taken
    bool stopped = false;                // the user's stop ended it
    bool used_up = false;                // a device found no free ID left in the list
    int failed = sio_ok;                 // the line's failure that ended it
};

// Waits for a device at plan.from, asking every ask_every_ms and hearing an
// answer however late it comes before the next ask; moves it to the next ID
// of the list that nothing answers at, as a checked change; and waits for
// the next, until the list is used up, the user stops it (the line's stop),
// the line fails or (without keep_going) a device is not confirmed. Nothing
// is sent to from while more than one device answers there. After a device
// that answered its change and failed, the wait is for it to be taken off,
// or for one of two; one that never answered it is taken as the next.
AssignResult assign(Line& line, const std::string& folder, const AssignPlan& plan,
                    const std::function<void(const AssignEvent&)>& tell);

// True for an outcome that leaves the device at its new ID as far as the
// tool can tell.
bool numbered(CheckedChange::Outcome outcome);

} // namespace qrv
