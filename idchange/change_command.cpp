#include "change_command.h"

#include "id_rules.h"
#include "oplog.h"
#include "port_control.h"

namespace qrv {

namespace {

// Holds what an attempt takes for itself until it ends, however it ends:
// the port button, and the command's record of the running attempt.
class Holding {
public:
    Holding(WindowState& window, ChangeAttempt*& running, ChangeAttempt& attempt)
        : m_window(window), m_running(running)
    {
        m_running = &attempt;
        m_window.set_port_button_enabled(false);
    }
    ~Holding()
    {
        m_window.set_port_button_enabled(true);
        m_running = nullptr;
    }
    Holding(const Holding&) = delete;
    Holding& operator=(const Holding&) = delete;

private:
    WindowState& m_window;
    ChangeAttempt*& m_running;
};

} // namespace

ChangeCommand::ChangeCommand(WindowState& window, SerialApi& serial, Clock& clock,
                             MessageSink& messages, const PortChoice& choice,
                             std::string tool_folder)
    : m_window(window), m_serial(serial), m_clock(clock), m_messages(messages), m_choice(choice),
      m_tool_folder(std::move(tool_folder))
{
}

Verdict ChangeCommand::run()
{
    if (m_attempt)
        return Verdict::busy;
    if (!entry_checks_pass(m_window, m_messages)) {
        m_window.append_log_text(entry_close());
        return Verdict::refused;
    }
    // The port this request goes out on is the one its reply is read from.
    // A line new to this attempt: the change goes out at once; a read after
    // it keeps the line's rules at the port's speed.
    Line line{m_serial, m_choice.port, m_clock, m_choice.baud, late_answer_ms};
    ChangeAttempt attempt(&m_window, line, m_tool_folder, id_byte(m_window.old_id_text()),
                          id_byte(m_window.new_id_text()));
    const Holding holding(m_window, m_attempt, attempt);
    attempt.exchange();
    // On disk before anything waits on the user.
    const ChangeOutcome& outcome = attempt.finish();
    if (outcome.port_gone())
        close_port(m_window, m_serial, m_choice);
    if (!m_session_ended)
        tell(outcome);
    return outcome.verdict;
}

void ChangeCommand::tell(const ChangeOutcome& outcome)
{
    if (outcome.verdict != Verdict::success)
        m_messages.show_message(result_text(outcome));
    // A port lost after the device answered: the answer first, then the port.
    if (outcome.port_gone() && outcome.verdict != Verdict::port_lost &&
        outcome.verdict != Verdict::not_sent)
        m_messages.show_message(msg_port_gone);
    if (!outcome.filed())
        m_messages.show_message(msg_log_write_failed);
}

void ChangeCommand::file_now()
{
    if (m_attempt)
        m_attempt->finish_now();
}

void ChangeCommand::end_session()
{
    m_session_ended = true;
    file_now();
}

} // namespace qrv
