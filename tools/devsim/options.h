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

// One device on the line.
struct DeviceOptions {
    std::uint8_t id = 17;
    unsigned baud = 0; // 0: answers at any speed
    std::optional<Identity> identity;
    std::chrono::milliseconds appear{0}; // connected this long after the start
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
    bool no_answer = false;
    std::chrono::milliseconds late{0};
    std::chrono::milliseconds restart{0}; // deaf after an ID change, applying it
    bool bad_crc = false;
    int extra = 0;
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
