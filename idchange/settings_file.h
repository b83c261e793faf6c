// parameter.txt: the port and baud list indexes of the last successful open.
// Plain C++, so the reader can be tested and fuzzed on its own.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace qrv {

inline constexpr const char* settings_file_name = "parameter.txt";

// The two program-wide texts that the file holds, as decimal list indexes.
struct PortSettings {
    std::string saved_port_index;
    std::string saved_baud_index;
};

// The first max_fields fields of a file: each ends at a comma, a line end
// (CR LF, CR or LF) or the end; blanks before a field are skipped; a field
// that begins with a double quote runs to the next one, and what follows the
// closing quote up to the field's end is dropped.
std::vector<std::string> read_fields(std::string_view bytes, std::size_t max_fields);

// The file's bytes as its fields are read: a UTF-8 byte order mark dropped,
// and text after a UTF-16 one (as Notepad saves "Unicode") taken a character
// at a time, each outside ASCII as '?', which no field of ours holds.
std::string settings_text(std::string_view bytes);

// True when path names an ordinary file (not a folder).
bool settings_file_present(const std::string& path);

// The first two fields of the file's text; nothing when it cannot be read or
// holds fewer than two fields.
std::optional<PortSettings> load_port_settings(const std::string& path);

// The index a stored text selects in a list of count entries: its leading
// number rounded halves-to-even; nothing when that is not an index there.
std::optional<int> stored_index(const std::string& text, int count);

// The file's exact bytes: "<port>","<baud>" CR LF.
std::string settings_record(const PortSettings& settings);

// Replaces the file's content with the record; false when it cannot.
bool save_settings_file(const std::string& path, const PortSettings& settings);

} // namespace qrv
