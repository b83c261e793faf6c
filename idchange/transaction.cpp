#include "transaction.h"

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

// Takes what arrives into got until it holds a whole reply to a read or the
// deadline has passed; with quiet_ms, each byte moves the deadline on to
// quiet_ms after it. True when the reply is whole.
bool take_reply(OpenPort& port, std::vector<std::uint8_t>& got, std::int64_t deadline, int quiet_ms)
{
    // What is waiting, as the queue or the wait for input last told it.
    int waiting = port.serial.sio_iqueue(port.port);
    while (waiting >= 0 && got.size() < read_reply_len(got)) {
        if (waiting > 0) {
            std::uint8_t buf[256];
            const int n = port.serial.sio_read(port.port, buf, std::min<int>(waiting, sizeof buf));
            got.insert(got.end(), buf, buf + std::max(n, 0));
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
    return got.size() >= read_reply_len(got);
}

// Sends a request on an empty line: what is waiting is an answer to an
// earlier request and must not be taken for this one's. A scan's probe does
// not wait for the line to settle first.
int send_request(OpenPort& port, const FrameBuf& request, bool probe = false)
{
    if (!probe)
        settle(port);
    port.serial.sio_flush(port.port);
    return port.serial.sio_write(port.port, request.data(), frame_len);
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
        break;
    }
    return "no_reply";
}

const char* verdict_text(Verdict verdict)
{
    return verdict == Verdict::success    ? text_success
           : verdict == Verdict::mismatch ? text_mismatch
                                          : text_no_reply;
}

std::optional<FrameBuf> exchange_change(OpenPort& port, const FrameBuf& request)
{
    send_request(port, request);
    port.clock.delay_ms(reply_wait_ms);
    port.unsettled = port.serial.sio_iqueue(port.port) != frame_len;
    if (port.unsettled)
        return std::nullopt;
    FrameBuf resp_buf{};
    port.serial.sio_read(port.port, resp_buf.data(), frame_len);
    return resp_buf;
}

Verdict judge_change(std::span<const std::uint8_t> reply, std::uint8_t new_id)
{
    return reply.size() == frame_len && reply[0] == new_id && frame_crc_ok(reply)
               ? Verdict::success
               : Verdict::mismatch;
}

ChangeOutcome run_logged_change(LogText& log, OpenPort& port, const std::string& folder,
                                std::uint8_t old_id, std::uint8_t new_id,
                                const BeforeResult& before_result)
{
    ChangeOutcome outcome;
    outcome.log_path = day_log_path(folder, port.clock.date_text());
    // A file that cannot be created now is reported with the append below.
    create_if_missing(outcome.log_path);
    const FrameBuf cmd_buf = build_request(old_id, new_id);
    log_reset(log);
    log_start(log, std::to_string(old_id), std::to_string(new_id), port.clock.date_time_text());
    log_sent(log, std::span(cmd_buf).first(frame_len));

    if (const auto resp_buf = exchange_change(port, cmd_buf)) {
        const auto reply = std::span(*resp_buf).first(frame_len);
        log_reply(log, reply);
        outcome.reply.assign(reply.begin(), reply.end());
        // Judged against the ID that was sent, whatever a box shows now.
        outcome.verdict = judge_change(reply, new_id);
    }
    const std::string more = before_result ? before_result(outcome) : std::string();
    log_result(log, verdict_text(outcome.verdict));
    if (!more.empty())
        log_result(log, crlf + more);
    log_close(log);
    outcome.log_error = append_record(outcome.log_path, log.log_text());
    return outcome;
}

int default_read_timeout_ms(std::int32_t baud)
{
    return 100 + static_cast<int>(wire_ms(7, baud));
}

ReadReply exchange_read(OpenPort& port, std::uint8_t id, int timeout_ms, bool probe)
{
    // A scan's probes tell a late answer by its address instead.
    if (send_request(port, build_read_request(id), probe) != sio_ok)
        return {};
    // The answer window opens once the request has left the wire.
    const std::int64_t window_end =
        port.clock.now_ms() + wire_ms(frame_len, port.baud) + timeout_ms;
    std::vector<std::uint8_t> got;
    bool whole = take_reply(port, got, window_end, 0);
    bool late = false;
    if (!whole && !probe && port.guard_ms > 0) {
        whole = late = take_reply(port, got, port.clock.now_ms() + port.guard_ms, port.guard_ms);
        // Quiet for the guard, or whole: nothing more of it is on its way.
        port.unsettled = false;
    } else {
        port.unsettled = !whole;
    }
    ReadReply reply = parse_read_reply(got, id);
    reply.late = late;
    return reply;
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
                port.serial.sio_flush(port.port);
                quiet_until = port.clock.now_ms() + port.guard_ms;
            }
        }
    }
    port.unsettled = false;
}

} // namespace qrv
