#include "checked_change.h"

namespace qrv {

CheckedChange checked_change(LogText& log, MessageSink& messages, OpenPort& port,
                             const std::string& folder, std::uint8_t old_id, std::uint8_t new_id,
                             const ChangeChecks& checks)
{
    using Outcome = CheckedChange::Outcome;
    CheckedChange result;
    // Any answer at all, even a corrupt one, means a device holds the address.
    if (checks.check_free) {
        result.before = exchange_read(port, new_id, checks.read_timeout_ms);
        if (result.before.kind != ReadReply::Kind::none) {
            result.outcome = Outcome::taken;
            return result;
        }
    }
    const Verdict verdict = run_logged_change(log, messages, port, folder, std::to_string(old_id),
                                              std::to_string(new_id));
    if (verdict != Verdict::success) {
        result.outcome = verdict == Verdict::mismatch ? Outcome::mismatch : Outcome::no_reply;
        return result;
    }
    if (!checks.verify) {
        result.outcome = Outcome::unverified;
        return result;
    }
    result.after = exchange_read(port, new_id, checks.read_timeout_ms);
    result.outcome = result.after.kind == ReadReply::Kind::value && result.after.value == new_id
                         ? Outcome::confirmed
                         : Outcome::unconfirmed;
    return result;
}

} // namespace qrv
