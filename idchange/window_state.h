// The window as the core units see it: the shared state of the one window
// and its message box. Texts are UTF-8; the log text has CR LF line ends.
#pragma once

#include <cstdint>
#include <string>

namespace qrv {

// The port and speed the port button last took from the lists (uart_port
// and uart_baud of the design), 0 until then.
struct PortChoice {
    std::int16_t port = 0; // selected port index + 1, so 1..24
    std::int32_t baud = 0; // numeric value of the selected baud entry
};

// The log box as an attempt writes it: emptied, then added to. Nothing is
// ever read back out of it: an attempt keeps its entry itself.
class LogText {
public:
    virtual ~LogText() = default;
    virtual void set_log_text(const std::string& text) = 0;
    // Adds text at the end, whatever the user did to the box meanwhile.
    virtual void append_log_text(const std::string& text) = 0;
};

class WindowState : public LogText {
public:
    // Whether the port button has the port open; the lamp shows it, red
    // while open, black while closed.
    virtual bool is_port_open() const = 0;
    virtual void set_port_open(bool open) = 0;

    virtual int port_index() const = 0; // selected entry of the port list, -1 none
    virtual void set_port_index(int index) = 0;
    virtual int baud_index() const = 0; // selected entry of the baud list, -1 none
    virtual void set_baud_index(int index) = 0;
    virtual std::string baud_entry(int index) const = 0;
    virtual void set_lists_enabled(bool enabled) = 0; // both lists together

    virtual void set_port_caption(const std::string& caption) = 0;
    // Off while an attempt runs: the port it uses stays as it is.
    virtual void set_port_button_enabled(bool enabled) = 0;

    // Setting a text raises the box's change event when the text differs.
    virtual std::string old_id_text() const = 0;
    virtual void set_old_id_text(const std::string& text) = 0;
    virtual std::string new_id_text() const = 0;
    virtual void set_new_id_text(const std::string& text) = 0;
};

// A modal message with one OK button; returns when the user has closed it.
class MessageSink {
public:
    virtual ~MessageSink() = default;
    virtual void show_message(const std::string& text) = 0;
};

} // namespace qrv
