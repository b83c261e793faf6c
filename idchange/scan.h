// The search for devices whose ID or speed nobody remembers: the read of
// register 10 at every address of a range, at every speed asked for.
#pragma once

#include "transaction.h"
#include "vocabulary.h"

#include <functional>
#include <optional>
#include <vector>

namespace qrv {

struct ScanPlan {
    std::vector<std::int32_t> bauds = scan_speeds();
    std::uint8_t first_id = 1, last_id = max_id; // a reversed range holds no address
    int timeout_ms = 0; // each probe's answer window; 0: default_read_timeout_ms at its speed
    bool stop_at_first = false;
    bool identify = false; // read each device's identification too
};

// Something answered a probe. A device when the reply is a value or an
// exception from the address asked, late or not; anything else as long as
// an answer is garbled (two devices on one address, the wrong speed, noise)
// and is never taken for a device.
struct ScanHit {
    std::uint8_t id;
    std::int32_t baud;
    ReadReply reply;
    std::optional<IdentifyReply> identity; // a device's, when asked for
    bool device() const { return reply.from_device(); }
};

// Where a scan stands, for whoever shows its progress.
struct ScanProgress {
    std::int32_t baud;
    std::uint8_t id;
    int timeout_ms; // the answer window of the probes at this speed
    std::size_t done, total, devices;
};

struct ScanResult {
    std::vector<ScanHit> hits;         // in the order found
    std::vector<std::int32_t> refused; // speeds the port would not take: not scanned
    std::size_t done = 0, total = 0;   // probes sent, and planned
    std::size_t devices = 0;           // hits that are devices
    bool stopped = false;              // go_on ended it
    int failed = sio_ok;               // the line's failure that ended it
};

// Probes as planned on the line; before each probe asks go_on, which
// ends the scan by returning false. A line that fails ends it too. A probe
// waits its window only; after each speed's range the line is listened to
// until it has been quiet for its late_ms, and an answer that came late is
// its probe's, found late, wherever in the range it was.
ScanResult scan(Line& line, const ScanPlan& plan,
                const std::function<bool(const ScanProgress&)>& go_on);

} // namespace qrv
