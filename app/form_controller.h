// The window's logic, written once for both views (the Qt window and the
// Win32 one): its five handlers, the window's variables and saved settings,
// the change command, the watch on an open port, and what becomes of a close
// or the end of the session while a handler runs. Plain C++: a view hands it
// events and draws.
#pragma once

#include "change_command.h"
#include "id_rules.h"
#include "settings_file.h"
#include "window_state.h"

#include <array>
#include <functional>
#include <string>

// How often a view asks for the check of an open port: a pulled adapter is
// said within a second, and the line is asked nothing costly meanwhile.
inline constexpr int port_check_ms = 500;

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
    // A box is tidied as its text changes, also during an attempt's wait;
    // its message then waits for the verdict, and is shown after it when the
    // box is still no ID from 1 to 247.
    void on_old_id_changed();
    void on_new_id_changed();
    // A few times a second, and when the system says a device came or went:
    // an open port whose adapter was pulled out while nothing ran is closed
    // and said. Not while a handler runs: an attempt finds a lost port
    // itself, and a message on screen is answered first.
    void on_port_check();

    // The user closes the window: true when it may close now. While a
    // handler runs (a change waiting for its reply, a message box) the close
    // waits, and the window closes once that handler has returned.
    bool close_requested();
    // A log-off or shutdown begins, and may yet be cancelled: a change
    // waiting for its reply is finished and filed now, and messages go on.
    void session_ending();
    // The session ends (a log-off or shutdown that goes ahead, a stop
    // signal): a change waiting for its reply is finished and filed now, and
    // no message is shown any more.
    void end_session();

    const qrv::PortSettings& saved_settings() const { return m_saved; }
    const qrv::PortChoice& port_choice() const { return m_choice; }

private:
    class Running;
    void on_id_changed(qrv::IdBox box);

    qrv::WindowState& m_view;
    qrv::SerialApi& m_serial;
    qrv::MessageSink& m_messages;
    std::string m_tool_folder;
    qrv::PortChoice m_choice;
    qrv::PortSettings m_saved;
    qrv::ChangeCommand m_change;
    // Per box: its rule complained during an attempt, to be judged after it.
    std::array<bool, 2> m_judge_after{};
    int m_handlers_running = 0;
    bool m_close_pending = false;
    std::function<void()> m_close_window;
};
