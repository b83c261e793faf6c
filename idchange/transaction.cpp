#include "transaction.h"

#include "day_log_file.h"
#include "oplog.h"

#include <algorithm>

namespace qrv {

namespace {

// Sleeps until the monotonic time due, handling no event.
void sleep_until(Clock& clock, std::int64_t due)
{
    if (const std::int64_t left = due - clock.now_ms(); left > 0)
        clock.sleep_ms(static_cast<int>(left));
}

} // namespace

const char* to_string(Verdict verdict)
{
    switch (verdict) {
    case Verdict::refused:
        return "refused";
    case Verdict::busy:
        return "busy";
    case Verdict::success:
        return "success";
    case Verdict::mismatch:
        return "mismatch";
    case Verdict::no_reply:
        return "no_reply";
    case Verdict::exception:
        return "exception";
    case Verdict::moved:
        return "moved";
    case Verdict::not_sent:
        return "not_sent";
    case Verdict::port_lost:
        break;
    }
    return "port_lost";
}

std::string result_text(const ChangeOutcome& outcome)
{
    switch (outcome.verdict) {
    case Verdict::success:
        return text_success;
    case Verdict::mismatch:
        return text_mismatch;
    case Verdict::exception:
        if (answered(outcome) && !outcome.readback.empty())
            return text_changed_but + outcome.readback;
        return text_refused + exception_text(outcome.reply[2]) +
               (outcome.readback.empty() ? "" : "，" + outcome.readback);
    case Verdict::moved:
        return text_moved + outcome.readback;
    case Verdict::not_sent:
        return outcome.port_gone() ? text_port_gone_unsent : text_not_sent;
    case Verdict::port_lost:
        return text_port_lost;
    default:
        return text_no_reply;
    }
}

bool confirms(const ReadReply& reply, std::uint8_t new_id)
{
    return reply.kind == ReadReply::Kind::value && reply.value == new_id;
}

bool at_work(const ChangeOutcome& change, bool busy_too)
{
    return change.verdict == Verdict::exception &&
           (change.reply[2] == exc_acknowledge || (busy_too && change.reply[2] == exc_server_busy));
}

bool answered(const ChangeOutcome& change)
{
    return change.verdict == Verdict::success || at_work(change, false);
}

std::string why_unheard(const ChangeOutcome& change, const Heard& echo, std::uint8_t old_id)
{
    if (change.verdict == Verdict::exception)
        return text_echo_exception + exception_text(change.reply[2]);
    if (change.verdict == Verdict::mismatch && change.reply[0] == old_id)
        return text_echo_from_old;
    return !echo.frame.empty() && echo.late ? text_echo_late : text_echo_missing;
}

Verdict judge_change(std::span<const std::uint8_t> reply, std::uint8_t new_id)
{
    return reply.size() == frame_len && reply[0] == new_id && frame_crc_ok(reply)
               ? Verdict::success
               : Verdict::mismatch;
}

ChangeAttempt::ChangeAttempt(LogText* box, Line& line, const std::string& folder,
                             std::uint8_t old_id, std::uint8_t new_id, int framed_wait_ms)
    : m_box(box), m_line(line), m_request(build_request(old_id, new_id)), m_new_id(new_id),
      m_framed_wait_ms(framed_wait_ms)
{
    m_outcome.log_path = day_log_path(folder, line.clock().date_text());
    // A file that cannot be created now is reported when the entry is filed.
    create_if_missing(m_outcome.log_path);
    if (m_box)
        m_box->set_log_text("");
    write(
        entry_start(std::to_string(old_id), std::to_string(new_id), line.clock().date_time_text()));
    write(entry_sent(m_request));
}

void ChangeAttempt::write(const std::string& text)
{
    m_outcome.entry += text;
    if (m_box)
        m_box->append_log_text(text);
}

void ChangeAttempt::exchange()
{
    if (m_step != Step::begun)
        return;
    const int wait = m_framed_wait_ms > 0 ? m_framed_wait_ms : reply_wait_ms;
    m_asked = m_line.send(
        m_request, {m_request[0], fc_write_single_register, write_reply_len, m_new_id}, wait);
    if (m_asked < 0) {
        m_outcome.verdict = Verdict::not_sent;
        m_outcome.line_status = static_cast<int>(m_asked);
        m_step = Step::exchanged;
        return;
    }
    // The clock's milliseconds are cut, not rounded: one more makes the wait whole.
    m_reply_due = m_line.clock().now_ms() + wait + 1;
    m_step = Step::waiting;
    if (m_framed_wait_ms > 0) {
        // A change already sent is waited out, whatever the user asks meanwhile.
        m_line.listen(wait, false);
        take_framed();
        return;
    }
    // Events handled meanwhile may finish this attempt (the program ending).
    // What comes is taken in as it comes: a port that fails later in the
    // second takes none of it along.
    m_line.clock().wait_handling_events(reply_wait_ms, [this] {
        if (m_step == Step::waiting)
            m_line.listen(0, false);
    });
    if (m_step == Step::waiting)
        take_reply();
}

void ChangeAttempt::take_reply()
{
    // The whole wait, also where a quitting program cut the events short.
    sleep_until(m_line.clock(), m_reply_due);
    m_step = Step::exchanged;
    m_line.listen(0, false);
    judge_second(m_line.heard(m_asked).came);
    if (m_line.failed() != sio_ok) {
        // Judged on what came before; without an answer, the port's loss is the result.
        m_outcome.line_status = m_line.failed();
        if (m_outcome.verdict == Verdict::no_reply)
            m_outcome.verdict = Verdict::port_lost;
        return;
    }
    if (m_outcome.verdict == Verdict::mismatch || m_outcome.verdict == Verdict::no_reply ||
        at_work(m_outcome))
        look_for_moved();
}

void ChangeAttempt::judge_second(std::span<const std::uint8_t> came)
{
    const std::uint8_t old_id = m_request[0];
    if (came.size() == frame_len)
        accept(came, judge_change(came, m_new_id));
    else if (came.size() == exception_reply_len && came[0] == old_id &&
             came[1] == (fc_write_single_register | exception_flag) && frame_crc_ok(came))
        accept(came, Verdict::exception);
    else if (!came.empty())
        accept(came, Verdict::no_reply); // in the record, and judged as no answer
}

void ChangeAttempt::look_for_moved()
{
    const Read read = read_register(m_line, m_new_id, default_read_timeout_ms(m_line.baud()));
    if (read.reply.line_failed()) {
        m_outcome.line_status = m_line.failed();
    } else if (confirms(read.reply, m_new_id)) {
        m_outcome.readback = readback_confirmed(m_new_id) + "（" +
                             why_unheard(m_outcome, m_line.heard(m_asked), m_request[0]) + "）";
        m_outcome.verdict = Verdict::moved;
    } else if (at_work(m_outcome)) {
        m_outcome.readback = readback_unconfirmed(m_new_id, read.reply, -1);
    }
}

void ChangeAttempt::take_framed()
{
    m_step = Step::exchanged;
    if (m_line.failed() != sio_ok) {
        m_outcome.verdict = Verdict::port_lost;
        m_outcome.line_status = m_line.failed();
        return;
    }
    const Heard heard = m_line.heard(m_asked);
    if (!heard.frame.empty()) {
        accept(heard.frame, heard.frame[1] & exception_flag ? Verdict::exception
                                                            : judge_change(heard.frame, m_new_id));
    } else if (heard.instead.size() >= frame_len) {
        // Eight bytes that are no answer, as the window would take them.
        accept(std::span(heard.instead).first(frame_len),
               judge_change(std::span(heard.instead).first(frame_len), m_new_id));
    }
}

void ChangeAttempt::accept(std::span<const std::uint8_t> reply, Verdict verdict)
{
    write(entry_reply(reply));
    m_outcome.reply.assign(reply.begin(), reply.end());
    // Judged against the ID that was sent, whatever a box shows now.
    m_outcome.verdict = verdict;
}

const ChangeOutcome& ChangeAttempt::finish(const std::string& conclusion)
{
    if (m_step == Step::finished)
        return m_outcome;
    m_step = Step::finished;
    write(conclusion.empty() ? result_text(m_outcome) : conclusion);
    write(entry_close());
    m_outcome.log_error = append_record(m_outcome.log_path, m_outcome.entry);
    return m_outcome;
}

void ChangeAttempt::finish_now()
{
    if (m_step == Step::waiting)
        take_reply();
    if (m_step == Step::exchanged)
        finish();
}

int default_read_timeout_ms(std::int32_t baud)
{
    return 100 + static_cast<int>(wire_ms(7, baud));
}

ReadReply read_reply(const Heard& heard, std::uint8_t id)
{
    if (heard.frame.empty())
        return parse_read_reply(heard.instead, id);
    ReadReply reply = parse_read_reply(heard.frame, id);
    reply.late = heard.late;
    reply.stray = heard.stray;
    return reply;
}

AtAddress presence_of(const Heard& heard, std::uint8_t id)
{
    if (heard.frame.empty())
        return heard.instead.size() >= exception_reply_len &&
                       parse_read_reply(heard.instead, id).kind != ReadReply::Kind::other_address
                   ? AtAddress::several
                   : AtAddress::nothing;
    return heard.stray >= exception_reply_len ? AtAddress::several : AtAddress::one_device;
}

namespace {

// Sends request and awaits its answer as read_register says; nothing came
// when it did not go out or the line failed, which failed tells.
std::int64_t ask(Line& line, std::span<const std::uint8_t> request, const Expect& expect,
                 int timeout_ms, bool late, std::optional<ReadReply::Kind>& failed)
{
    const std::int64_t asked = line.send(request, expect, timeout_ms);
    if (asked < 0) {
        failed = ReadReply::Kind::not_sent;
        return asked;
    }
    if (!line.await(asked, line.window_end(asked)) && late)
        line.await_late(asked);
    if (line.failed() != sio_ok)
        failed = ReadReply::Kind::port_lost;
    return asked;
}

} // namespace

Read read_register(Line& line, std::uint8_t id, int timeout_ms, bool late)
{
    std::optional<ReadReply::Kind> failed;
    Read read;
    read.request = ask(line, build_read_request(id),
                       {id, fc_read_holding_registers, read_reply_len}, timeout_ms, late, failed);
    if (failed) {
        read.reply = {*failed};
        return read;
    }
    read.heard = line.heard(read.request);
    read.reply = read_reply(read.heard, id);
    return read;
}

IdentifyReply exchange_identify(Line& line, std::uint8_t id, int timeout_ms, bool late)
{
    std::optional<ReadReply::Kind> failed;
    const std::int64_t asked =
        ask(line, build_identify_request(id), {id, fc_encapsulated_interface, identify_reply_len},
            timeout_ms, late, failed);
    if (failed)
        return {*failed, 0, 0, {}};
    const Heard heard = line.heard(asked);
    return parse_identify_reply(heard.frame.empty() ? heard.instead : heard.frame, id);
}

} // namespace qrv
