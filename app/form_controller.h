// The window's logic, written once for both views (the Qt window and the
// Win32 one): its five handlers, the window's variables and saved settings,
// the change command, and what becomes of a close or the end of the session
// while a handler runs. Plain C++: a view hands it events and draws.
#pragma once

#include "change_command.h"
#include "settings_file.h"
#include "window_state.h"

#include <functional>
#include <string>

class FormController {
public:
    // All borrowed; clock is the one the window waits with. tool_folder holds
    // parameter.txt and the day logs. close_window closes the window, which
    // ends the program.
    FormController(qrv::WindowState& view, qrv::SerialApi& serial, qrv::Clock& clock,
                   qrv::MessageSink& messages, std::string tool_folder,
                   std::function<void()> close_window);

    // Handlers of the window's events.
    void on_load();
    void on_port_clicked();
    void on_change_clicked();
    void on_old_id_changed();
    void on_new_id_changed();

    // The user closes the window: true when it may close now. While a
    // handler runs (a change waiting for its reply, a message box) the close
    // waits, and the window closes once that handler has returned.
    bool close_requested();
    // The session ends (log-off, shutdown, a stop signal): a change waiting
    // for its reply is finished and filed now.
    void end_session();

    const qrv::PortSettings& saved_settings() const { return m_saved; }
    const qrv::PortChoice& port_choice() const { return m_choice; }

private:
    class Running;

    qrv::WindowState& m_view;
    qrv::SerialApi& m_serial;
    qrv::MessageSink& m_messages;
    std::string m_tool_folder;
    qrv::PortChoice m_choice;
    qrv::PortSettings m_saved;
    qrv::ChangeCommand m_change;
    int m_handlers_running = 0;
    bool m_close_pending = false;
    std::function<void()> m_close_window;
};
