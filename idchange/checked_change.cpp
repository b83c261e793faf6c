#include "checked_change.h"

#include "vocabulary.h"

#include <algorithm>

namespace qrv {

namespace {

using Outcome = CheckedChange::Outcome;
using Kind = ReadReply::Kind;

// The read-back asks this often: a device that restarts is caught soon
// after, and the line is not flooded.
constexpr int ask_every_ms = 250;

// Asks at the new ID every ask_every_ms until the device answers there with
// it (to any of the asks, late or not), confirm_ms have passed, the line
// fails or the user stops it. asked_ms: how long it asked.
ReadReply read_back(CheckedChange& result, Line& line, std::uint8_t new_id,
                    const ChangeChecks& checks, std::int64_t& asked_ms)
{
    Clock& clock = line.clock();
    const std::int64_t start = clock.now_ms();
    std::vector<std::int64_t> asks;
    for (;;) {
        const std::int64_t at = clock.now_ms();
        const Read read = read_register(line, new_id, checks.read_timeout_ms, false);
        asked_ms = clock.now_ms() - start;
        if (read.reply.line_failed())
            return read.reply;
        asks.push_back(read.request);
        if (!confirms(read.reply, new_id))
            line.await(read.request, std::min(at + ask_every_ms, start + checks.confirm_ms));
        asked_ms = clock.now_ms() - start;
        for (const std::int64_t ask : asks)
            if (const ReadReply reply = read_reply(line.heard(ask), new_id);
                confirms(reply, new_id))
                return reply;
        if (line.failed() != sio_ok)
            return {Kind::port_lost};
        if ((result.stopped = line.stopping()) || clock.now_ms() >= start + checks.confirm_ms)
            return read_reply(line.heard(read.request), new_id);
    }
}

// The read-back after a change that went out and was not refused, and what
// its outcome makes of the change.
void after_change(CheckedChange& result, Line& line, const ChangeAttempt& attempt,
                  std::uint8_t old_id, std::uint8_t new_id, const ChangeChecks& checks)
{
    const Verdict verdict = result.change.verdict;
    if (verdict == Verdict::success && !checks.verify) {
        result.outcome = Outcome::unverified;
        result.readback = readback_not_asked;
        return;
    }
    std::int64_t asked_ms = 0;
    if (!(result.stopped = line.stopping()))
        result.after = read_back(result, line, new_id, checks, asked_ms);
    const bool echoed = verdict == Verdict::success;
    if (result.after && confirms(*result.after, new_id)) {
        result.outcome = echoed ? Outcome::confirmed : Outcome::moved;
        result.readback = readback_confirmed(new_id);
        if (!echoed) {
            // An echo on its way yet is heard before it is said to be missing.
            line.settle();
            result.readback +=
                "（" + why_unheard(result.change, line.heard(attempt.request()), old_id) + "）";
        }
    } else if (result.stopped) {
        result.outcome = echoed ? Outcome::unverified : result.outcome;
        result.readback = readback_stopped;
    } else {
        if (answered(result.change))
            result.outcome = Outcome::unconfirmed;
        if (result.after->line_failed()) {
            result.outcome = Outcome::port_lost;
            result.line_status = line.failed();
        }
        result.readback = readback_unconfirmed(new_id, *result.after,
                                               result.after->line_failed() ? -1 : asked_ms);
        // Only a late echo is worth telling of a device not found moved.
        const Heard echo = line.heard(attempt.request());
        if (!echoed && !echo.frame.empty() && echo.late)
            result.readback += std::string("（") + text_echo_late_hint + "）";
    }
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
    const bool said_taken = answered(result.change);
    switch (result.outcome) {
    case Outcome::confirmed:
    case Outcome::unverified:
        if (said_taken)
            return text_changed + result.readback;
        break;
    case Outcome::unconfirmed:
        return text_changed_but + result.readback;
    case Outcome::moved:
        return text_moved + result.readback;
    case Outcome::port_lost:
        if (said_taken && !result.readback.empty())
            return text_changed_but + result.readback;
        break;
    default:
        break;
    }
    return result.readback.empty() ? result_text(result.change)
                                   : result_text(result.change) + "，" + result.readback;
}

// Nobody answered at the old ID: a device already at the new ID, found there
// by the free check, is a change done before (a list run again after a
// stop); else there is no device. said tells the outcome.
template <typename Said>
bool nobody_at_old(CheckedChange& result, Line& line, std::uint8_t old_id, std::uint8_t new_id,
                   const ChangeChecks& checks, const Said& said)
{
    if (!checks.check_free || result.source->line_failed() || line.stopping())
        return said(Outcome::no_device, *result.source, text_no_device(old_id));
    const Presence p = presence_at(line, new_id, checks.read_timeout_ms, true);
    result.before = p.reply;
    if (p.reply.line_failed())
        return said(Outcome::taken, p.reply, "");
    if (p.at == AtAddress::one_device && confirms(p.reply, new_id))
        return said(Outcome::already_done, p.reply, text_already_done);
    return said(Outcome::no_device, p.reply, text_no_device(old_id));
}

// The reads before the change: one device at the old ID, if asked, and
// nothing at the new one. False, the result said, when the change is not to
// be sent.
bool checks_pass(CheckedChange& result, Line& line, std::uint8_t old_id, std::uint8_t new_id,
                 const ChangeChecks& checks)
{
    const auto stopped = [&] {
        if ((result.stopped = line.stopping()))
            result.text = text_stopped;
        return result.stopped;
    };
    const auto said = [&](Outcome outcome, const ReadReply& reply, std::string text) {
        result.outcome = outcome;
        if (reply.line_failed()) {
            result.outcome = reply.kind == Kind::not_sent ? Outcome::not_sent : Outcome::port_lost;
            result.line_status = line.failed();
            text = reply_text(reply);
        }
        result.text = std::move(text);
        return false;
    };
    if (stopped())
        return false;
    if (checks.check_old) {
        // The device is given the change's own second to answer.
        const Presence p =
            presence_at(line, old_id, std::max(checks.read_timeout_ms, reply_wait_ms), true);
        result.source = p.reply;
        if (p.reply.line_failed() || (!stopped() && p.at != AtAddress::one_device))
            return p.at == AtAddress::several
                       ? said(Outcome::several, p.reply,
                              text_several_at(old_id, p.reply) + "，" + text_change_not_sent)
                       : nobody_at_old(result, line, old_id, new_id, checks, said);
        if (result.stopped)
            return false;
    }
    if (checks.check_free) {
        // Any answer at all, even a late or corrupt one, means a device holds the address.
        const Presence p = presence_at(line, new_id, checks.read_timeout_ms, true);
        result.before = p.reply;
        if (p.reply.line_failed() || (!stopped() && p.at != AtAddress::nothing))
            return said(Outcome::taken, p.reply, text_taken(new_id, p.reply));
        if (result.stopped)
            return false;
    }
    return !stopped();
}

} // namespace

Presence presence_at(Line& line, std::uint8_t id, int timeout_ms, bool late)
{
    Read read = read_register(line, id, timeout_ms, late);
    if (!read.reply.line_failed() && presence_of(read.heard, id) == AtAddress::several &&
        !line.stopping())
        read = read_register(line, id, timeout_ms, late);
    const AtAddress at =
        read.reply.line_failed() ? AtAddress::nothing : presence_of(read.heard, id);
    // Noise too short for an answer is no answer.
    const bool noise = at == AtAddress::nothing && !read.reply.line_failed();
    return {at, noise ? ReadReply{} : read.reply, read.request};
}

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
    case Outcome::no_device:
        return "no_device";
    case Outcome::already_done:
        return "already_done";
    case Outcome::several:
        return "several_devices";
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

CheckedChange checked_change(Line& line, const std::string& folder, std::uint8_t old_id,
                             std::uint8_t new_id, const ChangeChecks& checks)
{
    CheckedChange result;
    if (!checks_pass(result, line, old_id, new_id, checks))
        return result;
    // The command line waits the window's second, or longer when a device is
    // known to be slower.
    ChangeAttempt attempt(nullptr, line, folder, old_id, new_id,
                          std::max(reply_wait_ms, checks.read_timeout_ms));
    attempt.exchange();
    result.outcome = failed(attempt.verdict());
    result.line_status = line.failed();
    result.change = attempt.outcome();
    // Read back unless nothing went out, the device refused or the line is gone.
    if (result.outcome == Outcome::no_reply || result.outcome == Outcome::mismatch ||
        attempt.verdict() == Verdict::success || at_work(result.change))
        after_change(result, line, attempt, old_id, new_id, checks);
    result.text = outcome_text(result);
    result.change = attempt.finish(result.text);
    return result;
}

} // namespace qrv
