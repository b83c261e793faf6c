// One attempt to give a device a new ID: the change button's command.
#pragma once

#include "clock.h"
#include "serial_api.h"
#include "window_state.h"

#include <string>

namespace qrv {

enum class Verdict {
    refused,  // an entry check failed: nothing sent, nothing filed
    busy,     // an attempt is already waiting for its reply: nothing done
    success,  // the echo came from the new address with a valid CRC
    mismatch, // 8 bytes came, but from another address or corrupt
    no_reply, // not exactly 8 bytes waiting after the wait
};

class ChangeCommand {
public:
    ChangeCommand(WindowState& window, SerialApi& serial, Clock& clock, MessageSink& messages,
                  const WindowVars& vars, std::string tool_folder);

    // Entry checks, request, one-second wait, verdict, log entry and the
    // record in the day log file. Events handled during the wait may press
    // the button again: such a press starts nothing.
    Verdict run();

    static constexpr int reply_wait_ms = 1000;

private:
    Verdict exchange();

    WindowState& m_window;
    SerialApi& m_serial;
    Clock& m_clock;
    MessageSink& m_messages;
    const WindowVars& m_vars;
    std::string m_tool_folder;
    bool m_running = false;
};

} // namespace qrv
