#include "checked_change.h"

#include "vocabulary.h"

namespace qrv {

namespace {

using Outcome = CheckedChange::Outcome;

// A device that answered at once with something else is asked again after
// this, not flooded.
constexpr int ask_again_ms = 100;

bool asked_to_stop(const ChangeChecks& checks)
{
    return checks.stop && checks.stop();
}

bool confirms(const ReadReply& reply, std::uint8_t new_id)
{
    return reply.kind == ReadReply::Kind::value && reply.value == new_id;
}

ReadReply read_back(OpenPort& port, std::uint8_t new_id, const ChangeChecks& checks)
{
    const std::int64_t start = port.clock.now_ms();
    for (;;) {
        const ReadReply reply = exchange_read(port, new_id, checks.read_timeout_ms);
        const std::int64_t left = start + checks.confirm_ms - port.clock.now_ms();
        if (confirms(reply, new_id) || left <= 0 || asked_to_stop(checks))
            return reply;
        if (reply.kind != ReadReply::Kind::none)
            port.clock.wait_handling_events(
                static_cast<int>(std::min<std::int64_t>(ask_again_ms, left)));
    }
}

// After a success: the read-back, or why there is none.
void after_success(CheckedChange& result, OpenPort& port, std::uint8_t new_id,
                   const ChangeChecks& checks)
{
    result.outcome = Outcome::unverified;
    if (!checks.verify) {
        result.readback = readback_not_asked;
    } else if (asked_to_stop(checks)) {
        result.stopped = true;
        result.readback = readback_stopped;
    } else {
        result.after = read_back(port, new_id, checks);
        const bool ok = confirms(*result.after, new_id);
        result.outcome = ok ? Outcome::confirmed : Outcome::unconfirmed;
        result.readback =
            ok ? readback_confirmed(new_id) : readback_unconfirmed(new_id, *result.after);
    }
    result.text = (result.outcome == Outcome::unconfirmed ? text_changed_but : text_changed) +
                  result.readback;
}

// What the attempt's verdict, other than a success, makes of the change.
Outcome failed(Verdict verdict)
{
    switch (verdict) {
    case Verdict::mismatch:
        return Outcome::mismatch;
    case Verdict::not_sent:
        return Outcome::not_sent;
    case Verdict::port_lost:
        return Outcome::port_lost;
    default:
        return Outcome::no_reply;
    }
}

} // namespace

const char* to_string(CheckedChange::Outcome outcome)
{
    switch (outcome) {
    case Outcome::confirmed:
        return "confirmed";
    case Outcome::unverified:
        return "unverified";
    case Outcome::unconfirmed:
        return "unconfirmed";
    case Outcome::taken:
        return "taken";
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
        if (result.before->kind != ReadReply::Kind::none) {
            result.outcome = Outcome::taken;
            result.text = text_taken(new_id, *result.before);
            return result;
        }
        if (stopped())
            return result;
    }
    ChangeAttempt attempt(nullptr, port, folder, old_id, new_id);
    attempt.exchange();
    if (attempt.verdict() == Verdict::success) {
        after_success(result, port, new_id, checks);
        result.change = attempt.finish(result.readback);
        return result;
    }
    result.outcome = failed(attempt.verdict());
    result.change = attempt.finish();
    result.text = result_text(result.change);
    return result;
}

} // namespace qrv
