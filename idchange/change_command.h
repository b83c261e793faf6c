// One attempt to give a device a new ID: the change button's command.
#pragma once

#include "transaction.h"

#include <string>

namespace qrv {

class ChangeCommand {
public:
    ChangeCommand(WindowState& window, SerialApi& serial, Clock& clock, MessageSink& messages,
                  const WindowVars& vars, std::string tool_folder);

    // Entry checks, then the attempt with its entry in the log box and the
    // day log file. Events handled during the wait may press the button
    // again: such a press starts nothing.
    Verdict run();

private:
    WindowState& m_window;
    SerialApi& m_serial;
    Clock& m_clock;
    MessageSink& m_messages;
    const WindowVars& m_vars;
    std::string m_tool_folder;
    bool m_running = false;
};

} // namespace qrv
