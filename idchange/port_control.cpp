#include "port_control.h"

#include "numeric.h"

#include <cmath>

namespace qrv {

namespace {

void open_port(WindowState& window, SerialApi& serial, MessageSink& messages,
               const WindowVars& vars, const std::function<bool()>& save_port_settings)
{
    if (serial.sio_open(vars.uart_port) != sio_ok) {
        messages.show_message(msg_open_failed);
        return;
    }
    if (serial.sio_baud(vars.uart_port, vars.uart_baud) != sio_ok) {
        // Closed again, or every later open of this port would fail while
        // the window shows it closed.
        serial.sio_close(vars.uart_port);
        messages.show_message(msg_baud_failed);
        return;
    }
    window.set_lamp_color(lamp_open);
    if (!save_port_settings())
        messages.show_message(msg_settings_failed);
    window.set_port_caption(caption_close_port);
    window.set_log_text("");
    window.set_lists_enabled(false);
}

} // namespace

void close_port(WindowState& window, SerialApi& serial, const WindowVars& vars)
{
    serial.sio_close(vars.uart_port);
    window.set_lists_enabled(true);
    window.set_lamp_color(lamp_closed);
    window.set_port_caption(caption_open_port);
}

void port_button_click(WindowState& window, SerialApi& serial, MessageSink& messages,
                       WindowVars& vars, const std::function<bool()>& save_port_settings)
{
    vars.uart_port = static_cast<std::int16_t>(window.port_index() + 1);
    vars.uart_baud = static_cast<std::int32_t>(
        std::lround(leading_value(window.baud_entry(window.baud_index()))));
    if (window.lamp_color() == lamp_closed)
        open_port(window, serial, messages, vars, save_port_settings);
    else
        close_port(window, serial, vars);
}

} // namespace qrv
