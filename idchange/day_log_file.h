// The day log file on the platform's file system. Each platform has its own
// file (day_log_file_posix.cpp, day_log_file_win32.cpp); the build takes one.
#pragma once

#include <filesystem>
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

// The bytes of the record "<text>"CR LF as it is added to a file that
// begins with start (as much of it as tells its encoding; empty for a new or
// empty file). Nothing is ever lost to a '?'. On Linux the text as it is,
// UTF-8. On Windows a file of UTF-8, with a byte order mark or without (ASCII
// included), takes UTF-8; any other file, and a new one, the ANSI code page
// where that holds every character of the record, else UTF-8, a new file
// with a byte order mark before it.
std::string record_bytes(std::string_view start, std::string_view text);

// Appends the record in one write to a file opened only for this. A write
// that fails part-way is undone, so the file holds whole records only. 0 when
// the record is in the file, else why not as an errno value.
int append_record(const std::string& path, std::string_view text);

// The system's words for an errno value a file gave, in the user's language
// where the system has it.
std::string error_text(int error);

} // namespace qrv
