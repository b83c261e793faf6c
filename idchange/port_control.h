// The port button: opens the selected port at the selected speed, or closes
// the open one. The window's port state is the one record of which it is.
#pragma once

#include "serial_api.h"
#include "vocabulary.h"
#include "window_state.h"

#include <functional>

namespace qrv {

// save_port_settings stores both list selections; false when the file could
// not be written, which is reported but leaves the port open and usable.
void port_button_click(WindowState& window, SerialApi& serial, MessageSink& messages,
                       PortChoice& choice, const std::function<bool()>& save_port_settings);

// The close path: the port closed, the lists unlocked, the lamp black. Also
// for a port whose device has gone.
void close_port(WindowState& window, SerialApi& serial, const PortChoice& choice);

// An open port whose device has gone (an adapter pulled out) is closed and
// said; asking costs the library one cheap call. True when it had gone.
bool close_port_if_gone(WindowState& window, SerialApi& serial, MessageSink& messages,
                        const PortChoice& choice);

} // namespace qrv
