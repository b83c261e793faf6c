#include "transaction.h"

#include "day_log_file.h"
#include "oplog.h"

#include <algorithm>

namespace qrv {

namespace {

// Milliseconds that bytes take on the wire at baud, 10 bits each.
std::int64_t wire_ms(std::size_t bytes, std::int32_t baud)
{
    return baud > 0 ? (static_cast<std::int64_t>(bytes) * 10'000 + baud - 1) / baud : 0;
}

// A line that chatters on is not waited for longer than this.
constexpr int max_settle_ms = 2000;

// Reads what is waiting, as much as one call takes, onto the end of into.
void read_waiting(OpenPort& port, int waiting, std::vector<std::uint8_t>& into)
{
    std::uint8_t buf[256];
    const int n = port.serial.sio_read(port.port, buf, std::min<int>(waiting, sizeof buf));
    into.insert(into.end(), buf, buf + std::max(n, 0));
}

// Takes what arrives into got until it holds a whole reply to a read or the
// deadline has passed; with quiet_ms, each byte moves the deadline on to
// quiet_ms after it. True when the reply is whole; a line that fails ends it
// with its status in port.failed.
using ReplyLength = std::size_t (*)(std::span<const std::uint8_t>);

bool take_reply(OpenPort& port, std::vector<std::uint8_t>& got, std::int64_t deadline, int quiet_ms,
                ReplyLength reply_len)
{
    // What is waiting, as the queue or the wait for input last told it.
    int waiting = port.serial.sio_iqueue(port.port);
    while (waiting >= 0 && got.size() < reply_len(got)) {
        if (waiting > 0) {
            read_waiting(port, waiting, got);
            if (quiet_ms > 0)
                deadline = std::max(deadline, port.clock.now_ms() + quiet_ms);
            waiting = port.serial.sio_iqueue(port.port);
            continue;
        }
        const std::int64_t left = deadline - port.clock.now_ms();
        if (left <= 0)
            break;
        waiting = port.serial.sio_wait_input(port.port, static_cast<int>(left));
    }
    if (waiting < 0)
        port.failed = waiting;
    return got.size() >= reply_len(got);
}

// Sends a request on an empty line: what is waiting is an answer to an
// earlier request and must not be taken for this one's. A scan's probe does
// not wait for the line to settle first. sio_ok, or the failure of the line
// that kept the request from going out.
int send_request(OpenPort& port, std::span<const std::uint8_t> request, bool probe = false)
{
    port.failed = sio_ok;
    if (!probe)
        settle(port);
    int status = port.serial.sio_flush(port.port);
    if (status == sio_ok)
        status = port.serial.sio_write(port.port, request.data(), static_cast<int>(request.size()));
    port.failed = status;
    return status;
}

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
        return text_refused + exception_text(outcome.reply.size() > 2 ? outcome.reply[2] : 0);
    case Verdict::not_sent:
        return outcome.port_gone() ? text_port_gone_unsent : text_not_sent;
    case Verdict::port_lost:
        return text_port_lost;
    default:
        return text_no_reply;
    }
}

Verdict judge_change(std::span<const std::uint8_t> reply, std::uint8_t new_id)
{
    return reply.size() == frame_len && reply[0] == new_id && frame_crc_ok(reply)
               ? Verdict::success
               : Verdict::mismatch;
}

ChangeAttempt::ChangeAttempt(LogText* box, OpenPort& port, const std::string& folder,
                             std::uint8_t old_id, std::uint8_t new_id)
    : m_box(box), m_port(port), m_request(build_request(old_id, new_id)), m_new_id(new_id)
{
    m_outcome.log_path = day_log_path(folder, port.clock.date_text());
    // A file that cannot be created now is reported when the entry is filed.
    create_if_missing(m_outcome.log_path);
    if (m_box)
        m_box->set_log_text("");
    write(entry_start(std::to_string(old_id), std::to_string(new_id), port.clock.date_time_text()));
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
    if (const int status = send_request(m_port, m_request); status != sio_ok) {
        m_outcome.verdict = Verdict::not_sent;
        m_outcome.line_status = status;
        m_step = Step::exchanged;
        return;
    }
    m_reply_due = m_port.clock.now_ms() + reply_wait_ms;
    m_step = Step::waiting;
    // Events handled meanwhile may finish this attempt (the program ending).
    m_port.clock.wait_handling_events(reply_wait_ms);
    if (m_step == Step::waiting)
        take_reply();
}

void ChangeAttempt::take_reply()
{
    // The whole wait, also where a quitting program cut the events short.
    sleep_until(m_port.clock, m_reply_due);
    m_step = Step::exchanged;
    const int waiting = m_port.serial.sio_iqueue(m_port.port);
    if (waiting < 0) {
        m_outcome.verdict = Verdict::port_lost;
        m_port.failed = m_outcome.line_status = waiting;
        return;
    }
    if (m_port.by_length) {
        take_by_length(waiting);
        return;
    }
    m_port.unsettled = waiting != static_cast<int>(frame_len);
    if (waiting != static_cast<int>(frame_len))
        return;
    // What a read does not fill stays zero, and is judged and shown so.
    Frame reply{};
    m_port.serial.sio_read(m_port.port, reply.data(), static_cast<int>(reply.size()));
    accept(reply, judge_change(reply, m_new_id));
}

void ChangeAttempt::take_by_length(int waiting)
{
    std::vector<std::uint8_t> got(static_cast<std::size_t>(waiting));
    got.resize(static_cast<std::size_t>(
        std::max(m_port.serial.sio_read(m_port.port, got.data(), waiting), 0)));
    const bool refused = got.size() >= exception_reply_len && got[0] == m_request[0] &&
                         got[1] == (fc_write_single_register | exception_flag) &&
                         frame_crc_ok(std::span(got).first(exception_reply_len));
    const std::size_t len = refused ? exception_reply_len : frame_len;
    m_port.unsettled = got.size() < len;
    if (got.size() < len)
        return;
    // What came after a whole reply is no part of it.
    got.resize(len);
    accept(got, refused ? Verdict::exception : judge_change(got, m_new_id));
}

void ChangeAttempt::accept(std::span<const std::uint8_t> reply, Verdict verdict)
{
    write(entry_reply(reply));
    m_outcome.reply.assign(reply.begin(), reply.end());
    // Judged against the ID that was sent, whatever a box shows now.
    m_outcome.verdict = verdict;
}

const ChangeOutcome& ChangeAttempt::finish(const std::string& more)
{
    if (m_step == Step::finished)
        return m_outcome;
    m_step = Step::finished;
    write(result_text(m_outcome));
    if (!more.empty())
        write(crlf + more);
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

namespace {

// What came for a request answered the way a read is: nothing to parse when
// the request did not go out or the port failed.
struct Answer {
    std::optional<ReadReply::Kind> failed; // not_sent or port_lost
    std::vector<std::uint8_t> bytes;       // the reply, by its own length
    bool late = false;
    std::size_t stray = 0;
};

Answer exchange(OpenPort& port, std::span<const std::uint8_t> request, int timeout_ms, bool probe,
                ReplyLength reply_len)
{
    // A scan's probes tell a late answer by its address instead.
    if (send_request(port, request, probe) != sio_ok)
        return {ReadReply::Kind::not_sent, {}};
    // The answer window opens once the request has left the wire.
    const std::int64_t window_end =
        port.clock.now_ms() + wire_ms(request.size(), port.baud) + timeout_ms;
    Answer answer;
    bool whole = take_reply(port, answer.bytes, window_end, 0, reply_len);
    if (!whole && !probe && port.guard_ms > 0) {
        whole = answer.late = take_reply(port, answer.bytes, port.clock.now_ms() + port.guard_ms,
                                         port.guard_ms, reply_len);
        // Quiet for the guard, or whole: nothing more of it is on its way.
        port.unsettled = false;
    } else {
        port.unsettled = !whole;
    }
    if (port.failed != sio_ok)
        return {ReadReply::Kind::port_lost, {}};
    // A whole answer is taken by its own length; what came after it is no part of it.
    answer.stray = whole ? answer.bytes.size() - reply_len(answer.bytes) : 0;
    answer.bytes.resize(answer.bytes.size() - answer.stray);
    return answer;
}

} // namespace

ReadReply exchange_read(OpenPort& port, std::uint8_t id, int timeout_ms, bool probe)
{
    const Answer answer = exchange(port, build_read_request(id), timeout_ms, probe, read_reply_len);
    if (answer.failed)
        return {*answer.failed};
    ReadReply reply = parse_read_reply(answer.bytes, id);
    reply.late = answer.late;
    reply.stray = answer.stray;
    return reply;
}

IdentifyReply exchange_identify(OpenPort& port, std::uint8_t id, int timeout_ms, bool probe)
{
    const Answer answer =
        exchange(port, build_identify_request(id), timeout_ms, probe, identify_reply_len);
    return answer.failed ? IdentifyReply{*answer.failed, 0, 0, {}}
                         : parse_identify_reply(answer.bytes, id);
}

void settle(OpenPort& port)
{
    if (port.unsettled && port.guard_ms > 0) {
        const std::int64_t give_up = port.clock.now_ms() + max_settle_ms;
        std::int64_t quiet_until = port.clock.now_ms() + port.guard_ms;
        for (std::int64_t now = port.clock.now_ms(); now < std::min(quiet_until, give_up);
             now = port.clock.now_ms()) {
            const int waiting = port.serial.sio_wait_input(
                port.port, static_cast<int>(std::min(quiet_until, give_up) - now));
            if (waiting < 0)
                break;
            if (waiting > 0) {
                read_waiting(port, waiting, port.settled);
                quiet_until = port.clock.now_ms() + port.guard_ms;
            }
        }
    }
    port.unsettled = false;
}

} // namespace qrv
