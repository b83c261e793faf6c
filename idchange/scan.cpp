#include "scan.h"

namespace qrv {

namespace {

// A probe that went out, and what answered it when it was made.
struct Probe {
    std::int64_t request;
    ScanHit hit;
    bool answer_like; // what came is as long as an answer
};

// The hits of one speed's probes as the line has them now: an answer that
// came after its probe's window is that probe's, found late.
void file_hits(const Line& line, std::vector<Probe>& probes, ScanResult& result)
{
    for (Probe& probe : probes) {
        if (!probe.hit.device())
            if (const Heard heard = line.heard(probe.request); !heard.frame.empty())
                probe.hit.reply = read_reply(heard, probe.hit.id);
        // Noise shorter than an answer is no hit: a noisy line lists no ghosts.
        if (probe.hit.device() || probe.answer_like)
            result.hits.push_back(probe.hit);
        result.devices += probe.hit.device();
    }
    probes.clear();
}

class Scan {
public:
    Scan(Line& line, const ScanPlan& plan, const std::function<bool(const ScanProgress&)>& go_on)
        : m_line(line), m_plan(plan), m_go_on(go_on)
    {
    }

    ScanResult run()
    {
        const std::size_t ids = m_plan.first_id <= m_plan.last_id
                                    ? std::size_t(m_plan.last_id - m_plan.first_id) + 1
                                    : 0;
        m_result.total = m_plan.bauds.size() * ids;
        for (const std::int32_t baud : m_plan.bauds) {
            if (const int status = m_line.set_baud(baud); status != sio_ok) {
                // A speed the port refuses is left out; a port gone ends the scan.
                if (status != sio_bad_baud) {
                    m_result.failed = status;
                    return m_result;
                }
                m_result.refused.push_back(baud);
                m_result.total -= ids;
                continue;
            }
            const bool go_on = probe_all(baud, ids);
            // The last probes' late answers come before the next speed is set,
            // unless the user stopped or the line failed.
            if (!m_result.stopped && m_result.failed == sio_ok)
                m_line.settle();
            file_hits(m_line, m_probes, m_result);
            if (!go_on)
                return m_result;
        }
        return m_result;
    }

private:
    // The range at one speed; false when the scan ends here.
    bool probe_all(std::int32_t baud, std::size_t ids)
    {
        const int timeout =
            m_plan.timeout_ms > 0 ? m_plan.timeout_ms : default_read_timeout_ms(baud);
        std::size_t devices = m_result.devices;
        for (std::size_t i = 0; i < ids; ++i) {
            const auto id = static_cast<std::uint8_t>(m_plan.first_id + i);
            if (!m_go_on({baud, id, timeout, m_result.done, m_result.total, devices})) {
                m_result.stopped = true;
                return false;
            }
            const Read read = read_register(m_line, id, timeout, false);
            ScanHit hit{id, baud, read.reply, std::nullopt};
            // Only probes that went out count as done.
            m_result.done += hit.reply.kind != ReadReply::Kind::not_sent;
            if (hit.device() && m_plan.identify)
                hit.identity = exchange_identify(m_line, id, timeout, false);
            // What answered is kept, even when the port fails right after.
            if (m_line.failed() == sio_ok || hit.device()) {
                m_probes.push_back(
                    {read.request, hit, presence_of(read.heard, id) != AtAddress::nothing});
                devices += hit.device();
            }
            if (m_line.failed() != sio_ok) {
                m_result.failed = m_line.failed();
                return false;
            }
            if (hit.device() && m_plan.stop_at_first)
                return false;
        }
        return true;
    }

    Line& m_line;
    const ScanPlan& m_plan;
    const std::function<bool(const ScanProgress&)>& m_go_on;
    ScanResult m_result;
    std::vector<Probe> m_probes; // of the speed under way
};

} // namespace

ScanResult scan(Line& line, const ScanPlan& plan,
                const std::function<bool(const ScanProgress&)>& go_on)
{
    return Scan(line, plan, go_on).run();
}

} // namespace qrv
