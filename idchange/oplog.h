// The operation log: the entry of an attempt as the log box shows it and the
// day log file keeps it, and where that file is.
#pragma once

#include "vocabulary.h"

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace qrv {

// The parts of an attempt's entry, in the order an attempt writes them. The
// start shows the two IDs as their boxes show them.
std::string entry_start(const std::string& old_text, const std::string& new_text,
                        const std::string& date_time_text);
std::string entry_sent(std::span<const std::uint8_t> request);
std::string entry_reply(std::span<const std::uint8_t> reply);
// The star line that ends every entry, after its result text; also all that
// a refused attempt adds to the box.
std::string entry_close();

// Joins the tool's folder and a file name with the platform's separator.
std::string tool_file(const std::string& folder, std::string_view name);

// <folder>/<yyyy-mm-dd>.txt
std::string day_log_path(const std::string& folder, const std::string& log_date);

} // namespace qrv
