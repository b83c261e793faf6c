#include "port_control.h"

#include "numeric.h"

#include <cmath>

namespace qrv {

namespace {

void open_port(WindowState& window, SerialApi& serial, MessageSink& messages,
               const PortChoice& choice, const std::function<bool()>& save_port_settings)
{
    if (const int status = serial.sio_open(choice.port); status != sio_ok) {
        messages.show_message(
            text_open_failed(status, serial.sio_device(choice.port), serial.sio_last_error()));
        return;
    }
    if (serial.sio_baud(choice.port, choice.baud) != sio_ok) {
        // Closed again, or every later open of this port would fail while
        // the window shows it closed.
        serial.sio_close(choice.port);
        messages.show_message(msg_baud_failed);
        return;
    }
    window.set_port_open(true);
    if (!save_port_settings())
        messages.show_message(msg_settings_failed);
    window.set_port_caption(caption_close_port);
    window.set_log_text("");
    window.set_lists_enabled(false);
}

} // namespace

void close_port(WindowState& window, SerialApi& serial, const PortChoice& choice)
{
    serial.sio_close(choice.port);
    window.set_lists_enabled(true);
    window.set_port_open(false);
    window.set_port_caption(caption_open_port);
}

bool close_port_if_gone(WindowState& window, SerialApi& serial, MessageSink& messages,
                        const PortChoice& choice)
{
    if (!window.is_port_open() || serial.sio_iqueue(choice.port) != sio_port_gone)
        return false;
    close_port(window, serial, choice);
    messages.show_message(msg_port_gone);
    return true;
}

void port_button_click(WindowState& window, SerialApi& serial, MessageSink& messages,
                       PortChoice& choice, const std::function<bool()>& save_port_settings)
{
    choice.port = static_cast<std::int16_t>(window.port_index() + 1);
    choice.baud = static_cast<std::int32_t>(
        std::lround(leading_value(window.baud_entry(window.baud_index()))));
    if (!window.is_port_open())
        open_port(window, serial, messages, choice, save_port_settings);
    else
        close_port(window, serial, choice);
}

} // namespace qrv
