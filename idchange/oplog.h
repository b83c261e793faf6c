// The operation log: the entry of an attempt in the log box, and the day log
// file in the tool's folder that keeps every entry.
#pragma once

#include "frame.h"
#include "vocabulary.h"
#include "window_state.h"

#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace qrv {

// The log steps of one attempt, in the order the change command takes them;
// each but the reset appends to what the text holds at that moment. The
// start line shows the two IDs as their boxes show them.
void log_reset(LogText& log);
void log_start(LogText& log, const std::string& old_text, const std::string& new_text,
               const std::string& date_time_text);
void log_sent(LogText& log, std::span<const std::uint8_t> request);
void log_reply(LogText& log, std::span<const std::uint8_t> reply);
void log_result(LogText& log, std::string_view result_text);
void log_close(LogText& log);

// Joins the tool's folder and a file name with the platform's separator.
std::string tool_file(const std::string& folder, std::string_view name);

// <folder>/<yyyy-mm-dd>.txt
std::string day_log_path(const std::string& folder, const std::string& log_date);

// Creates the file empty unless it exists; false when it cannot be created.
bool create_if_missing(const std::string& path);

// Appends the record "<text>"CR LF, converted to the system's encoding, in
// one write to a file opened only for this. A write that fails part-way is
// undone, so the file holds whole records only. 0 when the record is in the
// file, else why not as an errno value.
int append_record(const std::string& path, std::string_view text);

// The system's words for an errno value.
std::string error_text(int error);

// UTF-8 text in the given character set (an iconv name, or "CP<n>" on
// Windows); a character the set cannot hold becomes '?'. Nothing when the
// text cannot be converted at all: an empty result is never a lost text.
std::optional<std::string> encode_text(std::string_view utf8, const char* charset);

// The encoding of the tool's text files: the ANSI code page on Windows
// (GBK on a Chinese system), UTF-8 elsewhere.
const char* system_charset();

} // namespace qrv
