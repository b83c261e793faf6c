// One attempt to give a device a new ID: the change button's command.
#pragma once

#include "transaction.h"

#include <string>

namespace qrv {

class ChangeCommand {
public:
    ChangeCommand(WindowState& window, SerialApi& serial, Clock& clock, MessageSink& messages,
                  const PortChoice& choice, std::string tool_folder);

    // Entry checks, then the attempt with its entry in the log box and the
    // day log file, filed before its message is shown. The port button waits
    // meanwhile; a port found gone is closed, and said after what the device
    // answered. Events handled during the wait may press the button again:
    // such a press starts nothing.
    Verdict run();

    // True while an attempt runs, its message included.
    bool running() const { return m_attempt != nullptr; }

    // A log-off or shutdown begins, and may yet be cancelled: a running
    // attempt is finished and filed now; messages are still shown.
    void file_now();
    // The session ends (a log-off or shutdown that goes ahead, a stop
    // signal): a running attempt is finished and filed now, and from now on
    // no attempt shows a message.
    void end_session();
    bool session_ended() const { return m_session_ended; }

private:
    void tell(const ChangeOutcome& outcome);

    WindowState& m_window;
    SerialApi& m_serial;
    Clock& m_clock;
    MessageSink& m_messages;
    const PortChoice& m_choice;
    std::string m_tool_folder;
    ChangeAttempt* m_attempt = nullptr;
    bool m_session_ended = false;
};

} // namespace qrv
