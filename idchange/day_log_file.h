// The day log file on the platform's file system. Each platform has its own
// file (day_log_file_posix.cpp, day_log_file_win32.cpp); the build takes one.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace qrv {

// '/' or '\'.
char path_separator();

// A path as the program holds it (UTF-8 on Windows, the system's own bytes
// elsewhere, whether they are UTF-8 or not) as the file system takes it.
std::filesystem::path file_path(const std::string& name);

// Creates the file empty unless it exists; false when it cannot be created.
bool create_if_missing(const std::string& path);

// The bytes of the record "<text>"CR LF as it is added to a file that begins
// with head (its first bytes; empty for a new or empty file). On Linux UTF-8.
// On Windows the file's own encoding: UTF-8 after a byte order mark, else the
// ANSI code page; a new file takes the ANSI code page when that holds every
// character of the record, else UTF-8 with a byte order mark. Nothing when
// the text cannot be converted at all.
std::optional<std::string> record_bytes(std::string_view head, std::string_view text);

// Appends the record in one write to a file opened only for this. A write
// that fails part-way is undone, so the file holds whole records only. 0 when
// the record is in the file, else why not as an errno value.
int append_record(const std::string& path, std::string_view text);

// The system's words for an errno value a file gave, in the user's language
// where the system has it.
std::string error_text(int error);

// UTF-8 text in the given character set (an iconv name, or "CP<n>" on
// Windows); a character the set cannot hold becomes '?'. Nothing when the
// text cannot be converted at all: an empty result is never a lost text.
std::optional<std::string> encode_text(std::string_view utf8, const char* charset);

// The ANSI code page on Windows ("CP936" on a Chinese system), UTF-8 elsewhere.
const char* system_charset();

} // namespace qrv
