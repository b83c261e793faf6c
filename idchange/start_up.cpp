#include "start_up.h"

#include "oplog.h"
#include "vocabulary.h"

namespace qrv {

namespace {

constexpr int default_port_index = 8; // entry "9"
constexpr int default_baud_index = 4; // entry "115200"

std::string settings_path(const std::string& folder)
{
    return tool_file(folder, settings_file_name);
}

// What an ordinary file there holds; a file that cannot be used selects
// the defaults, as a missing one.
std::optional<PortSettings> stored_settings(const std::string& folder)
{
    const std::string path = settings_path(folder);
    return settings_file_present(path) ? load_port_settings(path) : std::nullopt;
}

} // namespace

PortSettings Form_Load(WindowState& window, const std::string& folder)
{
    window.set_port_open(false);
    window.set_port_caption(caption_open_port);
    window.set_old_id_text("17");
    window.set_new_id_text("1");
    window.set_log_text("");
    const auto stored = stored_settings(folder);
    const auto port = stored ? stored_index(stored->saved_port_index, port_count) : std::nullopt;
    const auto baud =
        stored ? stored_index(stored->saved_baud_index, static_cast<int>(line_speeds.size()))
               : std::nullopt;
    if (port && baud) {
        window.set_port_index(*port);
        window.set_baud_index(*baud);
        return *stored;
    }
    window.set_port_index(default_port_index);
    window.set_baud_index(default_baud_index);
    return {std::to_string(default_port_index), std::to_string(default_baud_index)};
}

bool save_port_settings(const WindowState& window, const std::string& folder, PortSettings& saved)
{
    saved = {std::to_string(window.port_index()), std::to_string(window.baud_index())};
    return save_settings_file(settings_path(folder), saved);
}

} // namespace qrv
