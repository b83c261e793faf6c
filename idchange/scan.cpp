#include "scan.h"

namespace qrv {

ScanResult scan(OpenPort& port, const ScanPlan& plan,
                const std::function<bool(const ScanProgress&)>& go_on)
{
    ScanResult result;
    const std::size_t ids =
        plan.first_id <= plan.last_id ? std::size_t(plan.last_id - plan.first_id) + 1 : 0;
    result.total = plan.bauds.size() * ids;
    for (const std::int32_t baud : plan.bauds) {
        if (const int status = port.serial.sio_baud(port.port, baud); status != sio_ok) {
            // A speed the port refuses is left out; a port gone ends the scan.
            if (status != sio_bad_baud) {
                result.failed = status;
                return result;
            }
            result.refused.push_back(baud);
            result.total -= ids;
            continue;
        }
        port.baud = baud;
        const int timeout = plan.timeout_ms > 0 ? plan.timeout_ms : default_read_timeout_ms(baud);
        for (std::size_t i = 0; i < ids; ++i) {
            const auto id = static_cast<std::uint8_t>(plan.first_id + i);
            if (!go_on({baud, id, timeout, result.done, result.total, result.devices})) {
                result.stopped = true;
                return result;
            }
            ScanHit hit{id, baud, exchange_read(port, id, timeout, true), std::nullopt};
            // Only probes that went out count as done.
            result.done += hit.reply.kind != ReadReply::Kind::not_sent;
            if (hit.device() && plan.identify)
                hit.identity = exchange_identify(port, id, timeout, true);
            // What answered is kept, even when the port fails right after.
            if (port.failed == sio_ok || hit.device()) {
                if (hit.reply.kind != ReadReply::Kind::none)
                    result.hits.push_back(hit);
                result.devices += hit.device();
            }
            if (port.failed != sio_ok) {
                result.failed = port.failed;
                return result;
            }
            if (hit.device() && plan.stop_at_first)
                return result;
        }
    }
    return result;
}

} // namespace qrv
