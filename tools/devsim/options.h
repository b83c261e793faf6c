// Command line of qrv-devsim.
#pragma once

#include "frame.h"

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <variant>
#include <vector>

namespace qrv::devsim {

// A fault of a soak: how much (milliseconds or bytes, drawn anew each time
// from lo..hi; 1 for a fault that is only on or off) and how often it
// strikes. hi 0: off.
struct Fault {
    long lo = 0, hi = 0;
    double chance = 1.0;
    bool on() const { return hi > 0 && chance > 0; }
};

// One device on the line.
struct DeviceOptions {
    std::uint8_t id = 17;
    unsigned baud = 0; // 0: answers at any speed
    std::optional<Identity> identity;
    std::chrono::milliseconds appear{0}; // connected this long after the start
    Fault slow;                          // each of its answers later by this many ms
};

struct Options {
    std::string link;
    std::vector<DeviceOptions> devices; // in command-line order, at least one
    // Faults a technician or a test can switch on to see how the tool copes;
    // they apply to every device.
    bool reply_from_old = false;
    bool keep_id = false;
    std::uint8_t refuse = 0;
    bool echo = false; // the line sends back what it hears, as an adapter whose receiver stays on
    Fault no_answer;
    Fault late;
    Fault restart; // deaf this many ms after an ID change, applying it
    Fault bad_crc;
    Fault extra; // this many zero bytes after an answer
    // The line itself: bursts of noise this many ms apart on average (0:
    // none), the seed of every random draw, answers paced at the line's speed.
    long noise_ms = 0;
    std::uint32_t seed = 1;
    bool wire = false;
    std::string log; // where the log of events goes; empty: none
};

struct ShowHelp {};
struct UsageError {
    std::string message;
};

using ParseResult = std::variant<Options, ShowHelp, UsageError>;

// args excludes the program name.
ParseResult parse_options(const std::vector<std::string>& args);
std::string usage_text();

} // namespace qrv::devsim
