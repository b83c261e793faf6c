#include "change_command.h"

#include "id_rules.h"
#include "oplog.h"

namespace qrv {

ChangeCommand::ChangeCommand(WindowState& window, SerialApi& serial, Clock& clock,
                             MessageSink& messages, const WindowVars& vars, std::string tool_folder)
    : m_window(window), m_serial(serial), m_clock(clock), m_messages(messages), m_vars(vars),
      m_tool_folder(std::move(tool_folder))
{
}

Verdict ChangeCommand::run()
{
    if (m_running)
        return Verdict::busy;
    if (!entry_checks_pass(m_window, m_messages)) {
        log_close(m_window);
        return Verdict::refused;
    }
    // Cleared however the attempt ends, so a failure cannot leave the button dead.
    struct Running {
        bool& flag;
        ~Running() { flag = false; }
    } running{m_running = true};
    // The port this request goes out on is the one its reply is read from.
    OpenPort port{m_serial, m_vars.uart_port, m_clock};
    const ChangeOutcome outcome =
        run_logged_change(m_window, port, m_tool_folder, id_byte(m_window.old_id_text()),
                          id_byte(m_window.new_id_text()), [this](const ChangeOutcome& attempt) {
                              // The message comes before the result line, which repeats it.
                              if (attempt.verdict != Verdict::success)
                                  m_messages.show_message(verdict_text(attempt.verdict));
                              return std::string();
                          });
    if (!outcome.filed())
        m_messages.show_message(msg_log_write_failed);
    return outcome.verdict;
}

} // namespace qrv
