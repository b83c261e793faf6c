#include "wire.h"

#include <algorithm>

namespace qrv::devsim {

namespace {

constexpr Ns bits_per_byte = 10;
constexpr Ns ns_per_s = 1'000'000'000;
constexpr unsigned fixed_gap_above = 19200;
constexpr Ns fixed_gap_ns = 1'750'000;

// The first slot that begins at or after t.
std::int64_t slot_from(Ns origin, Ns byte, Ns t)
{
    return t <= origin ? 0 : (t - origin + byte - 1) / byte;
}

} // namespace

Ns byte_ns(unsigned baud)
{
    return baud == 0 ? 0 : bits_per_byte * ns_per_s / baud;
}

Ns frame_gap_ns(unsigned baud)
{
    if (baud == 0)
        return 0;
    return baud > fixed_gap_above ? fixed_gap_ns : byte_ns(baud) * 7 / 2;
}

void Wire::pace(Ns now, Ns byte)
{
    if (byte == m_byte || !m_slots.empty() || now < m_sent_end)
        return;
    m_origin = now;
    m_byte = byte;
}

Wire::Put Wire::put(Ns at, std::span<const std::uint8_t> bytes)
{
    // Unpaced, a put goes out whole at once, after what was put before.
    const std::int64_t first = m_byte == 0 ? m_slots.empty() ? 0 : m_slots.rbegin()->first + 1
                                           : std::max(slot_from(m_origin, m_byte, at),
                                                      slot_from(m_origin, m_byte, m_sent_end));
    Put done{m_byte == 0 ? at : start_of(first), 0};
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        const auto [slot, fresh] = m_slots.try_emplace(first + static_cast<std::int64_t>(i), 0);
        done.overlap += fresh ? 0 : 1;
        slot->second |= bytes[i];
    }
    return done;
}

std::vector<std::uint8_t> Wire::take_due(Ns now)
{
    std::vector<std::uint8_t> due;
    while (!m_slots.empty() && start_of(m_slots.begin()->first + 1) <= now) {
        due.push_back(m_slots.begin()->second);
        m_sent_end = start_of(m_slots.begin()->first + 1);
        m_slots.erase(m_slots.begin());
    }
    return due;
}

std::optional<Ns> Wire::next_due() const
{
    if (m_slots.empty())
        return std::nullopt;
    return start_of(m_slots.begin()->first + 1);
}

bool Wire::busy(Ns from, Ns to) const
{
    if (m_byte == 0)
        return false;
    if (m_sent_end > from)
        return true;
    // The first byte waiting that has not ended by from.
    const auto next = m_slots.lower_bound(from <= m_origin ? 0 : (from - m_origin) / m_byte);
    return next != m_slots.end() && start_of(next->first) <= to;
}

} // namespace qrv::devsim
