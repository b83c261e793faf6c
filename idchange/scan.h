// The search for devices whose ID or speed nobody remembers: the read of
// register 10 at every address of a range, at every speed asked for.
#pragma once

#include "transaction.h"

#include <functional>
#include <vector>

namespace qrv {

struct ScanPlan {
    std::vector<std::int32_t> bauds;
    std::uint8_t first_id = 1, last_id = 247;
    int timeout_ms = 0; // each probe's answer window; 0: default_read_timeout_ms at its speed
    bool stop_at_first = false;
};

// Something answered a probe. A device when the reply is a value or an
// exception from the address asked; anything else is garbled (two devices
// on one address, the wrong speed, noise) and is never taken for a device.
struct ScanHit {
    std::uint8_t id;
    std::int32_t baud;
    ReadReply reply;
    bool device() const
    {
        return reply.kind == ReadReply::Kind::value || reply.kind == ReadReply::Kind::exception;
    }
};

// Where a scan stands, for whoever shows its progress.
struct ScanProgress {
    std::int32_t baud;
    std::uint8_t id;
    int timeout_ms; // the answer window of the probes at this speed
    std::size_t done, total, devices;
};

// The speeds of the window's list, the most common first: the speeds the
// command line takes too.
const std::vector<std::int32_t>& scan_bauds();

// Probes as planned on a port open in serial; before each probe asks
// go_on, which ends the scan by returning false. A speed the port refuses
// is skipped. Returns what answered, in the order found.
std::vector<ScanHit> scan(SerialApi& serial, int port, Clock& clock, const ScanPlan& plan,
                          const std::function<bool(const ScanProgress&)>& go_on);

} // namespace qrv
