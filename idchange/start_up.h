// The window's start-up and the saving of its port choice: the same for
// every window over the core.
#pragma once

#include "settings_file.h"
#include "window_state.h"

#include <string>

namespace qrv {

// The window's working state before it is first shown: the lamp black, the
// port button's caption, the IDs 17 and 1, an empty log, and the port and
// speed of the last successful open from parameter.txt in folder, or port 9
// at 115200 when the file holds no usable pair. Writes nothing. Returns what
// the program keeps as saved_port_index and saved_baud_index.
PortSettings Form_Load(WindowState& window, const std::string& folder);

// Stores both list selections in parameter.txt in folder; false when it
// cannot. saved takes them either way.
bool save_port_settings(const WindowState& window, const std::string& folder, PortSettings& saved);

} // namespace qrv
