#include "assign.h"

namespace qrv {

namespace {

using Kind = ReadReply::Kind;
using Outcome = CheckedChange::Outcome;

// What answers at the address new devices come at.
enum class AtFrom { nothing, one_device, several };

// One device: a whole answer from that address, with no second one behind
// it (as many bytes again as the shortest answer: two devices that answered
// one after the other rather than over each other). Anything else that came
// is more than one talking at once.
AtFrom judge(const ReadReply& reply)
{
    if (reply.kind == Kind::none)
        return AtFrom::nothing;
    return reply.from_device() && reply.stray < exception_reply_len ? AtFrom::one_device
                                                                    : AtFrom::several;
}

class Run {
public:
    Run(OpenPort& port, const std::string& folder, const AssignPlan& plan,
        const std::function<void(const AssignEvent&)>& tell)
        : m_port(port), m_folder(folder), m_plan(plan), m_tell(tell)
    {
    }

    AssignResult run()
    {
        while (m_next < m_plan.to.size()) {
            if (!await(AtFrom::one_device))
                return m_result;
            const CheckedChange* change = number_device();
            if (!change || m_result.stopped || m_result.failed != sio_ok)
                return m_result;
            if (!numbered(change->outcome)) {
                if (!m_plan.keep_going)
                    return m_result;
                // The device that failed is not taken for the next one.
                tell({AssignEvent::Kind::removal});
                if (!await(AtFrom::nothing))
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

    // Asks at from until what answers there is as wanted. False when the
    // user stopped or the line failed first.
    bool await(AtFrom wanted)
    {
        bool told_several = false;
        for (;;) {
            if ((m_result.stopped = m_plan.checks.stop && m_plan.checks.stop()))
                return false;
            const std::int64_t asked = m_port.clock.now_ms();
            const ReadReply reply =
                exchange_read(m_port, m_plan.from, m_plan.checks.read_timeout_ms, true);
            if ((m_result.failed = m_port.failed) != sio_ok)
                return false;
            const AtFrom found = judge(reply);
            if (found == wanted)
                return true;
            if (found == AtFrom::several && !told_several)
                tell({AssignEvent::Kind::several, 0, 0, &reply});
            told_several = found == AtFrom::several;
            if (found == AtFrom::nothing)
                tell({AssignEvent::Kind::waiting});
            if (const std::int64_t left = asked + m_plan.ask_every_ms - m_port.clock.now_ms();
                left > 0)
                m_port.clock.sleep_ms(static_cast<int>(left));
        }
    }

    // Moves the device at from to the next ID of the list nothing answers
    // at; nothing when the list has none left.
    const CheckedChange* number_device()
    {
        ChangeChecks checks = m_plan.checks;
        checks.check_free = true;
        for (; m_next < m_plan.to.size(); ++m_next) {
            CheckedChange change =
                checked_change(m_port, m_folder, m_plan.from, m_plan.to[m_next], checks);
            m_result.stopped = change.stopped;
            m_result.failed = change.line_status;
            const std::uint8_t id = m_plan.to[m_next];
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

    OpenPort& m_port;
    const std::string& m_folder;
    const AssignPlan& m_plan;
    const std::function<void(const AssignEvent&)>& m_tell;
    AssignResult m_result;
    std::size_t m_next = 0; // the list's next ID to try
};

} // namespace

bool numbered(CheckedChange::Outcome outcome)
{
    return outcome == Outcome::confirmed || outcome == Outcome::moved ||
           outcome == Outcome::unverified;
}

AssignResult assign(OpenPort& port, const std::string& folder, const AssignPlan& plan,
                    const std::function<void(const AssignEvent&)>& tell)
{
    return Run(port, folder, plan, tell).run();
}

} // namespace qrv
