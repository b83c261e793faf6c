#include "scan.h"

namespace qrv {

const std::vector<std::int32_t>& scan_bauds()
{
    static const std::vector<std::int32_t> bauds{9600, 115200, 19200, 38400, 57600, 230400};
    return bauds;
}

std::vector<ScanHit> scan(SerialApi& serial, int port, Clock& clock, const ScanPlan& plan,
                          const std::function<bool(const ScanProgress&)>& go_on)
{
    std::vector<ScanHit> hits;
    std::size_t devices = 0, done = 0;
    const std::size_t total = plan.bauds.size() * (plan.last_id - plan.first_id + 1);
    for (const std::int32_t baud : plan.bauds) {
        if (serial.sio_baud(port, baud) != sio_ok) {
            done += plan.last_id - plan.first_id + 1;
            continue;
        }
        OpenPort line{serial, port, clock, baud};
        const int timeout = plan.timeout_ms > 0 ? plan.timeout_ms : default_read_timeout_ms(baud);
        for (int id = plan.first_id; id <= plan.last_id; ++id, ++done) {
            if (!go_on({baud, static_cast<std::uint8_t>(id), timeout, done, total, devices}))
                return hits;
            const ScanHit hit{static_cast<std::uint8_t>(id), baud,
                              exchange_read(line, static_cast<std::uint8_t>(id), timeout)};
            if (hit.reply.kind == ReadReply::Kind::none)
                continue;
            hits.push_back(hit);
            devices += hit.device();
            if (hit.device() && plan.stop_at_first)
                return hits;
        }
    }
    return hits;
}

} // namespace qrv
