#include "change_command.h"

#include "frame.h"
#include "id_rules.h"
#include "numeric.h"
#include "oplog.h"

namespace qrv {

namespace {

// The entry checks passed, so the text is a number in (0, 247].
std::uint8_t id_byte(const std::string& text)
{
    return static_cast<std::uint8_t>(round_to_i16(numeric_value(text).value_or(0)).value_or(0));
}

} // namespace

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
    m_running = true;
    const std::string log_path = day_log_path(m_tool_folder, m_clock.date_text());
    // A file that cannot be created now is reported with the append below.
    create_if_missing(log_path);
    const Verdict verdict = exchange();
    log_close(m_window);
    m_running = false;
    if (!append_record(log_path, m_window.log_text()))
        m_messages.show_message(std::string(msg_log_write_failed));
    return verdict;
}

Verdict ChangeCommand::exchange()
{
    const std::uint8_t new_id = id_byte(m_window.new_id_text());
    const FrameBuf cmd_buf = build_request(id_byte(m_window.old_id_text()), new_id);
    const std::span<const std::uint8_t, frame_len> request(cmd_buf.data(), frame_len);
    log_reset(m_window);
    log_start(m_window, m_clock.date_time_text());
    log_sent(m_window, request);

    // The port this request goes out on is the one its reply is read from.
    const int port = m_vars.uart_port;
    // A late answer to an earlier attempt must not be taken for this one's.
    m_serial.sio_flush(port);
    m_serial.sio_write(port, cmd_buf.data(), frame_len);
    m_clock.delay_ms(reply_wait_ms);

    if (m_serial.sio_iqueue(port) != frame_len) {
        m_messages.show_message(std::string(text_no_reply));
        log_result(m_window, text_no_reply);
        return Verdict::no_reply;
    }
    FrameBuf resp_buf{};
    m_serial.sio_read(port, resp_buf.data(), frame_len);
    const std::span<const std::uint8_t, frame_len> reply(resp_buf.data(), frame_len);
    log_reply(m_window, reply);
    // Judged against the ID that was sent: an edit of the box during the
    // wait does not change what the device was asked to take.
    if (reply[0] == new_id && frame_crc_ok(reply)) {
        log_result(m_window, text_success);
        return Verdict::success;
    }
    m_messages.show_message(std::string(text_mismatch));
    log_result(m_window, text_mismatch);
    return Verdict::mismatch;
}

} // namespace qrv
