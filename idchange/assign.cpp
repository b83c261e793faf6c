#include "assign.h"

namespace qrv {

namespace {

using Outcome = CheckedChange::Outcome;

class Run {
public:
    Run(Line& line, const std::string& folder, const AssignPlan& plan,
        const std::function<void(const AssignEvent&)>& tell)
        : m_line(line), m_folder(folder), m_plan(plan), m_tell(tell)
    {
    }

    AssignResult run()
    {
        while (m_next < m_plan.to.size()) {
            if (!await_device())
                return m_result;
            const CheckedChange* change = number_device();
            if (!change || m_result.stopped || m_result.failed != sio_ok)
                return m_result;
            if (!numbered(change->outcome)) {
                if (!m_plan.keep_going)
                    return m_result;
                // A device that never answered the change may have been
                // pulled and plugged back: it is heard again as the next.
                if (change->change.verdict == Verdict::no_reply)
                    continue;
                // One that did is not taken for the next one.
                tell({AssignEvent::Kind::removal});
                if (!await_removal())
                    return m_result;
            }
        }
        return m_result;
    }

private:
    // The ID is the list's next one, unless the event names its own.
    void tell(AssignEvent event)
    {
        event.devices = m_result.devices.size();
        if (event.id == 0 && m_next < m_plan.to.size())
            event.id = m_plan.to[m_next];
        m_tell(event);
    }

    // Asks at from once, then listens until the next ask is due: an answer
    // that comes meanwhile, however late, is heard. Nothing when the user
    // stopped before, or the line failed.
    std::optional<AtAddress> ask()
    {
        if ((m_result.stopped = m_line.stopping()))
            return std::nullopt;
        const std::int64_t due = m_line.clock().now_ms() + m_plan.ask_every_ms;
        Presence p = presence_at(m_line, m_plan.from, m_plan.checks.read_timeout_ms, false);
        if (p.at == AtAddress::nothing && p.request >= 0 && m_line.await(p.request, due)) {
            const Heard heard = m_line.heard(p.request);
            p = {presence_of(heard, m_plan.from), read_reply(heard, m_plan.from), p.request};
        }
        m_reply = p.reply;
        if ((m_result.failed = m_line.failed()) != sio_ok)
            return std::nullopt;
        if (p.at == AtAddress::nothing)
            tell({AssignEvent::Kind::waiting});
        if (p.at != AtAddress::one_device)
            m_line.listen(
                static_cast<int>(std::max<std::int64_t>(due - m_line.clock().now_ms(), 0)));
        return p.at;
    }

    // Asks until one device alone answers at from; more than one is said
    // once each time they appear. False when the user stopped or the line
    // failed first.
    bool await_device()
    {
        bool told = false;
        for (;;) {
            const auto found = ask();
            if (!found)
                return false;
            if (*found == AtAddress::one_device)
                return true;
            if (*found == AtAddress::several && !told)
                tell({AssignEvent::Kind::several, 0, 0, &m_reply});
            told = *found == AtAddress::several;
        }
    }

    // After a device that failed: until it is taken off and nothing answers,
    // or another was connected beside it (more than one answered) and one of
    // the two then taken off: the one left is tried next, whichever it is.
    bool await_removal()
    {
        bool several = false;
        for (;;) {
            const auto found = ask();
            if (!found)
                return false;
            if (*found == AtAddress::nothing || (*found == AtAddress::one_device && several))
                return true;
            if (*found == AtAddress::several && !several)
                tell({AssignEvent::Kind::several, 0, 0, &m_reply});
            several = several || *found == AtAddress::several;
        }
    }

    // Moves the device at from to the next ID of the list nothing answers
    // at; nothing when the list has none left.
    const CheckedChange* number_device()
    {
        ChangeChecks checks = m_plan.checks;
        checks.check_old = false; // it was just heard there
        checks.check_free = true;
        for (; m_next < m_plan.to.size(); ++m_next) {
            const std::uint8_t id = m_plan.to[m_next];
            tell({AssignEvent::Kind::changing, 0, id});
            CheckedChange change = checked_change(m_line, m_folder, m_plan.from, id, checks);
            m_result.stopped = change.stopped;
            m_result.failed = change.line_status;
            if (change.outcome != Outcome::taken) {
                ++m_next;
                m_result.devices.push_back({id, std::move(change)});
                const CheckedChange& done = m_result.devices.back().change;
                tell({AssignEvent::Kind::changed, 0, id, nullptr, &done});
                return &done;
            }
            m_result.skipped.push_back(id);
            tell({AssignEvent::Kind::skipped, 0, id, nullptr, &change});
        }
        m_result.used_up = true;
        return nullptr;
    }

    Line& m_line;
    const std::string& m_folder;
    const AssignPlan& m_plan;
    const std::function<void(const AssignEvent&)>& m_tell;
    AssignResult m_result;
    ReadReply m_reply;      // what the last ask at from heard
    std::size_t m_next = 0; // the list's next ID to try
};

} // namespace

bool numbered(CheckedChange::Outcome outcome)
{
    return outcome == Outcome::confirmed || outcome == Outcome::moved ||
           outcome == Outcome::unverified;
}

AssignResult assign(Line& line, const std::string& folder, const AssignPlan& plan,
                    const std::function<void(const AssignEvent&)>& tell)
{
    return Run(line, folder, plan, tell).run();
}

} // namespace qrv
