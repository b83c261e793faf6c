#include "checked_change.h"

#include "vocabulary.h"

#include <algorithm>

namespace qrv {

namespace {

using Outcome = CheckedChange::Outcome;
using Kind = ReadReply::Kind;

// A device that answered at once with something else is asked again after
// this, not flooded.
constexpr int ask_again_ms = 100;

bool asked_to_stop(const ChangeChecks& checks)
{
    return checks.stop && checks.stop();
}

bool confirms(const ReadReply& reply, std::uint8_t new_id)
{
    return reply.kind == Kind::value && reply.value == new_id;
}

// Asks at the new ID until the device answers there with it, confirm_ms
// have passed, the line fails or the user stops it.
ReadReply read_back(CheckedChange& result, OpenPort& port, std::uint8_t new_id,
                    const ChangeChecks& checks)
{
    const std::int64_t start = port.clock.now_ms();
    for (;;) {
        const ReadReply reply = exchange_read(port, new_id, checks.read_timeout_ms);
        const std::int64_t left = start + checks.confirm_ms - port.clock.now_ms();
        if (confirms(reply, new_id) || reply.line_failed() || left <= 0)
            return reply;
        if ((result.stopped = asked_to_stop(checks)))
            return reply;
        if (reply.kind != Kind::none)
            port.clock.wait_handling_events(
                static_cast<int>(std::min<std::int64_t>(ask_again_ms, left)));
    }
}

// A device whose echo was missing, late or from its old address may have
// taken its new ID all the same: why it was not heard taking it.
const char* why_unheard(const ChangeOutcome& change, const Frame& request, std::uint8_t new_id,
                        const std::vector<std::uint8_t>& settled)
{
    if (change.verdict == Verdict::mismatch && change.reply[0] == request[0])
        return text_echo_from_old;
    Frame echo = request;
    echo[0] = new_id;
    put_frame_crc(echo);
    return std::search(settled.begin(), settled.end(), echo.begin(), echo.end()) != settled.end()
               ? text_echo_late
               : text_echo_missing;
}

// The read-back after a change that was sent and not refused, and what its
// outcome makes of the change.
void after_change(CheckedChange& result, OpenPort& port, std::uint8_t old_id, std::uint8_t new_id,
                  const ChangeChecks& checks)
{
    const Verdict verdict = result.change.verdict;
    if (verdict == Verdict::success && !checks.verify) {
        result.outcome = Outcome::unverified;
        result.readback = readback_not_asked;
    } else if ((result.stopped = asked_to_stop(checks))) {
        result.readback = readback_stopped;
    } else {
        result.after = read_back(result, port, new_id, checks);
        const ReadReply& after = *result.after;
        const char* why =
            verdict == Verdict::success
                ? nullptr
                : why_unheard(result.change, build_request(old_id, new_id), new_id, port.settled);
        if (confirms(after, new_id)) {
            result.outcome = verdict == Verdict::success ? Outcome::confirmed : Outcome::moved;
            result.readback = readback_confirmed(new_id);
        } else if (result.stopped) {
            result.readback = readback_stopped;
            why = nullptr;
        } else {
            if (verdict == Verdict::success)
                result.outcome = Outcome::unconfirmed;
            result.readback = readback_unconfirmed(new_id, after);
            // Only a late echo is worth telling of a device not found moved.
            why = why == text_echo_late ? why : nullptr;
        }
        if (why)
            result.readback += std::string("（") + why + "）";
        if (after.line_failed())
            result.line_status = port.failed;
    }
    if (result.stopped && verdict == Verdict::success)
        result.outcome = Outcome::unverified;
}

Outcome failed(Verdict verdict)
{
    switch (verdict) {
    case Verdict::mismatch:
        return Outcome::mismatch;
    case Verdict::exception:
        return Outcome::refused;
    case Verdict::not_sent:
        return Outcome::not_sent;
    case Verdict::port_lost:
        return Outcome::port_lost;
    default:
        return Outcome::no_reply;
    }
}

// The line a technician reads for the outcome of a sent change.
std::string outcome_text(const CheckedChange& result)
{
    switch (result.outcome) {
    case Outcome::confirmed:
    case Outcome::unverified:
        return text_changed + result.readback;
    case Outcome::unconfirmed:
        return text_changed_but + result.readback;
    case Outcome::moved:
        return text_moved + result.readback;
    default:
        return result.readback.empty() ? result_text(result.change)
                                       : result_text(result.change) + "，" + result.readback;
    }
}

} // namespace

const char* to_string(CheckedChange::Outcome outcome)
{
    switch (outcome) {
    case Outcome::confirmed:
        return "confirmed";
    case Outcome::moved:
        return "moved";
    case Outcome::unverified:
        return "unverified";
    case Outcome::unconfirmed:
        return "unconfirmed";
    case Outcome::taken:
        return "taken";
    case Outcome::refused:
        return "refused";
    case Outcome::mismatch:
        return "mismatch";
    case Outcome::no_reply:
        return "no_reply";
    case Outcome::not_sent:
        return "not_sent";
    case Outcome::port_lost:
        return "port_lost";
    case Outcome::not_run:
        break;
    }
    return "not_run";
}

CheckedChange checked_change(OpenPort& port, const std::string& folder, std::uint8_t old_id,
                             std::uint8_t new_id, const ChangeChecks& checks)
{
    CheckedChange result;
    port.by_length = true;
    const auto stopped = [&] {
        if ((result.stopped = asked_to_stop(checks)))
            result.text = text_stopped;
        return result.stopped;
    };
    if (stopped())
        return result;
    // Any answer at all, even a corrupt or late one, means a device holds the address.
    if (checks.check_free) {
        result.before = exchange_read(port, new_id, checks.read_timeout_ms);
        if (result.before->line_failed()) {
            result.outcome =
                result.before->kind == Kind::not_sent ? Outcome::not_sent : Outcome::port_lost;
            result.line_status = port.failed;
            result.text = reply_text(*result.before);
            return result;
        }
        if (result.before->kind != Kind::none) {
            result.outcome = Outcome::taken;
            result.text = text_taken(new_id, *result.before);
            return result;
        }
        if (stopped())
            return result;
    }
    ChangeAttempt attempt(nullptr, port, folder, old_id, new_id);
    attempt.exchange();
    result.outcome = failed(attempt.verdict());
    result.line_status = port.failed;
    // Read back unless nothing went out, the device refused or the line is gone.
    if (result.outcome == Outcome::no_reply || result.outcome == Outcome::mismatch ||
        attempt.verdict() == Verdict::success) {
        result.change = attempt.outcome();
        port.settled.clear(); // a late echo is looked for from here on
        after_change(result, port, old_id, new_id, checks);
    }
    result.change = attempt.finish(result.readback);
    result.text = outcome_text(result);
    return result;
}

} // namespace qrv
