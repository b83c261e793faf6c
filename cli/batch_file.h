// The list of changes of a batch: one "old new" or "old,new" a line (blanks
// about the comma allowed); blank lines and # comments allowed. Plain C++,
// so that it is tested on its own.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace qrv::cli {

struct BatchLine {
    int line = 0; // in the file, from 1
    std::uint8_t old_id = 0;
    std::uint8_t new_id = 0;
};

struct BatchFile {
    std::vector<BatchLine> changes;
    std::vector<std::string> errors; // each names its line; none: the batch may run
    std::size_t more_errors = 0;     // errors beyond those listed
};

// A larger file is no batch a technician wrote.
inline constexpr std::size_t max_batch_bytes = 1024 * 1024;

// A device ID as a script gives it: a whole decimal number from 1 to max_id.
bool parse_id(std::string_view text, std::uint8_t& id);

// Reads the whole list before anything may be sent: every line must hold two
// IDs, and the list must be one a line of devices can follow line by line:
// no new ID twice, no old ID twice, no new ID that a later line takes from
// its device (an earlier line's device has left it). One error for each bad
// line, in line order, the first 20 listed and the rest counted. A UTF-8 or
// UTF-16 byte order mark and CR LF line ends are taken as a Windows editor
// writes them, full-width digits, commas, blanks and # as a Chinese keyboard
// types them.
BatchFile parse_batch(std::string_view bytes);

// The bytes of the file at path, or why there are none: it is no file, it
// cannot be read, or it is larger than max_batch_bytes (told before reading
// where it can be). Standard input is read where a stop can end the wait.
struct FileBytes {
    std::string bytes;
    std::string error; // empty: read
};
FileBytes read_batch_file(const std::string& path);

} // namespace qrv::cli
