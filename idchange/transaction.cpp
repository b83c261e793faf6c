#include "transaction.h"

#include "numeric.h"
#include "oplog.h"

#include <vector>

namespace qrv {

std::uint8_t id_byte(const std::string& text)
{
    return static_cast<std::uint8_t>(round_to_i16(numeric_value(text).value_or(0)).value_or(0));
}

std::optional<FrameBuf> exchange_change(OpenPort& port, const FrameBuf& request)
{
    port.serial.sio_flush(port.port);
    port.serial.sio_write(port.port, request.data(), frame_len);
    port.clock.delay_ms(reply_wait_ms);
    if (port.serial.sio_iqueue(port.port) != frame_len)
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

Verdict run_logged_change(LogText& log, MessageSink& messages, OpenPort& port,
                          const std::string& folder, const std::string& old_text,
                          const std::string& new_text)
{
    const std::string log_path = day_log_path(folder, port.clock.date_text());
    // A file that cannot be created now is reported with the append below.
    create_if_missing(log_path);
    // Judged against the ID that was sent: an edit of the box during the
    // wait does not change what the device was asked to take.
    const std::uint8_t new_id = id_byte(new_text);
    const FrameBuf cmd_buf = build_request(id_byte(old_text), new_id);
    log_reset(log);
    log_start(log, old_text, new_text, port.clock.date_time_text());
    log_sent(log, std::span(cmd_buf).first(frame_len));

    Verdict verdict = Verdict::no_reply;
    if (const auto resp_buf = exchange_change(port, cmd_buf)) {
        const auto reply = std::span(*resp_buf).first(frame_len);
        log_reply(log, reply);
        verdict = judge_change(reply, new_id);
    }
    const std::string_view result = verdict == Verdict::success    ? text_success
                                    : verdict == Verdict::mismatch ? text_mismatch
                                                                   : text_no_reply;
    if (verdict != Verdict::success)
        messages.show_message(std::string(result));
    log_result(log, result);
    log_close(log);
    if (!append_record(log_path, log.log_text()))
        messages.show_message(std::string(msg_log_write_failed));
    return verdict;
}

namespace {

// Milliseconds that bytes take on the wire at baud, 10 bits each.
std::int64_t wire_ms(std::size_t bytes, std::int32_t baud)
{
    return baud > 0 ? (static_cast<std::int64_t>(bytes) * 10'000 + baud - 1) / baud : 0;
}

} // namespace

int default_read_timeout_ms(std::int32_t baud)
{
    return 100 + static_cast<int>(wire_ms(7, baud));
}

ReadReply exchange_read(OpenPort& port, std::uint8_t id, int timeout_ms)
{
    const FrameBuf request = build_read_request(id);
    port.serial.sio_flush(port.port);
    if (port.serial.sio_write(port.port, request.data(), frame_len) != sio_ok)
        return {};
    // The answer window opens once the request has left the wire.
    const std::int64_t deadline = port.clock.now_ms() + wire_ms(frame_len, port.baud) + timeout_ms;
    std::vector<std::uint8_t> got;
    // What is waiting, as the queue or the wait for input last told it.
    int waiting = port.serial.sio_iqueue(port.port);
    while (waiting >= 0 && got.size() < read_reply_len(got)) {
        if (waiting > 0) {
            std::uint8_t buf[256];
            const int n = port.serial.sio_read(port.port, buf, std::min<int>(waiting, sizeof buf));
            got.insert(got.end(), buf, buf + std::max(n, 0));
            waiting = port.serial.sio_iqueue(port.port);
            continue;
        }
        const std::int64_t left = deadline - port.clock.now_ms();
        if (left <= 0)
            break;
        waiting = port.serial.sio_wait_input(port.port, static_cast<int>(left));
    }
    return parse_read_reply(got, id);
}

} // namespace qrv
