#include "device.h"

#include "frame.h"
#include "vocabulary.h"

#include <algorithm>
#include <iterator>

namespace qrv::devsim {

namespace {

constexpr std::uint16_t max_read_qty = 125;

std::uint16_t word_at(std::span<const std::uint8_t> frame, std::size_t pos)
{
    return static_cast<std::uint16_t>(frame[pos] << 8 | frame[pos + 1]);
}

// A broadcast is carried out but never answered, not even with an exception,
// or every device on the line would talk at once.
Outcome answer(std::uint8_t addr, Bytes body, std::string note = {})
{
    if (addr == broadcast_id)
        return {std::nullopt, note.empty() ? "broadcast, no reply" : note + ", broadcast, no reply",
                std::nullopt};
    return {with_crc(std::move(body)), std::move(note), std::nullopt};
}

Outcome exception(std::uint8_t addr, std::uint8_t fc, std::uint8_t code, std::string note)
{
    return answer(addr, {addr, static_cast<std::uint8_t>(fc | exception_flag), code},
                  std::move(note));
}

} // namespace

Device::Device(std::uint8_t id, Faults faults, std::optional<Identity> identity)
    : m_faults(faults), m_identity(std::move(identity))
{
    m_regs[id_register] = id;
}

Outcome Device::handle(std::span<const std::uint8_t> frame)
{
    // Address, function and two CRC bytes are the least a frame can be.
    if (frame.size() < 4)
        return {std::nullopt, "ignored: too short", std::nullopt};
    if (!frame_crc_ok(frame))
        return {std::nullopt, "ignored: bad CRC", std::nullopt};
    const std::uint8_t addr = frame[0];
    if (addr != id() && addr != broadcast_id)
        return {std::nullopt, "ignored: for ID " + std::to_string(addr), std::nullopt};

    Outcome out;
    switch (frame[1]) {
    case fc_write_single_register:
        out = write_single(addr, frame);
        break;
    case fc_read_holding_registers:
        if (addr == broadcast_id)
            return {std::nullopt, "ignored: broadcast read", std::nullopt};
        out = read_holding(addr, frame);
        break;
    case fc_encapsulated_interface:
        if (addr == broadcast_id)
            return {std::nullopt, "ignored: broadcast identification", std::nullopt};
        out = read_identification(addr, frame);
        break;
    default:
        out = exception(addr, frame[1], exc_illegal_function, "illegal function");
    }
    out.taken = true;
    return out;
}

Outcome Device::write_single(std::uint8_t addr, std::span<const std::uint8_t> frame)
{
    if (frame.size() != frame_len)
        return exception(addr, frame[1], exc_illegal_data_value, "wrong length");
    const std::uint16_t reg = word_at(frame, 2);
    const std::uint16_t value = word_at(frame, 4);
    if (reg >= register_count)
        return exception(addr, frame[1], exc_illegal_data_address, "no such register");

    Bytes echo(frame.begin(), frame.end() - 2);
    if (reg != id_register) {
        m_regs[reg] = value;
        return answer(addr, std::move(echo));
    }

    if (value == broadcast_id || value > max_id)
        return exception(addr, frame[1], exc_illegal_data_value, "ID out of range");
    if (m_faults.refuse != 0)
        return exception(addr, frame[1], m_faults.refuse, "ID change refused");
    const std::uint8_t old_id = id();
    if (!m_faults.keep_id)
        m_regs[id_register] = value;
    // The master learns that the change took by hearing the new address.
    echo[0] = m_faults.reply_from_old ? addr : static_cast<std::uint8_t>(value);
    Outcome out = answer(addr, std::move(echo), m_faults.keep_id ? "ID not stored" : "");
    if (old_id != id())
        out.old_id = old_id;
    return out;
}

Outcome Device::read_holding(std::uint8_t addr, std::span<const std::uint8_t> frame)
{
    if (frame.size() != frame_len)
        return exception(addr, frame[1], exc_illegal_data_value, "wrong length");
    const std::uint16_t start = word_at(frame, 2);
    const std::uint16_t qty = word_at(frame, 4);
    if (qty < 1 || qty > max_read_qty)
        return exception(addr, frame[1], exc_illegal_data_value, "bad quantity");
    if (start + qty > static_cast<int>(register_count))
        return exception(addr, frame[1], exc_illegal_data_address, "no such register");

    Bytes reply{addr, frame[1], static_cast<std::uint8_t>(2 * qty)};
    for (std::size_t r = start; r < start + qty; ++r) {
        reply.push_back(static_cast<std::uint8_t>(m_regs[r] >> 8));
        reply.push_back(static_cast<std::uint8_t>(m_regs[r] & 0xFF));
    }
    return answer(addr, std::move(reply));
}

// Basic identification only, its objects from the one asked on, all in one
// answer.
Outcome Device::read_identification(std::uint8_t addr, std::span<const std::uint8_t> frame)
{
    if (!m_identity || frame[2] != mei_read_device_id)
        return exception(addr, frame[1], exc_illegal_function, "no identification");
    if (frame.size() != identify_request_len || frame[3] != device_id_basic)
        return exception(addr, frame[1], exc_illegal_data_value, "basic identification only");
    const std::string* const objects[] = {&m_identity->vendor, &m_identity->product,
                                          &m_identity->revision};
    if (frame[4] >= std::size(objects))
        return exception(addr, frame[1], exc_illegal_data_address, "no such object");
    Bytes reply{addr,
                frame[1],
                mei_read_device_id,
                device_id_basic,
                device_id_basic,
                0,
                0,
                static_cast<std::uint8_t>(std::size(objects) - frame[4])};
    for (std::size_t id = frame[4]; id < std::size(objects); ++id) {
        reply.push_back(static_cast<std::uint8_t>(id));
        reply.push_back(static_cast<std::uint8_t>(objects[id]->size()));
        reply.insert(reply.end(), objects[id]->begin(), objects[id]->end());
    }
    return answer(addr, std::move(reply));
}

void Bus::add(Device device, unsigned baud, std::int64_t appear_ms)
{
    m_members.push_back({std::move(device), baud, appear_ms});
}

void Bus::deafen(std::size_t device, std::int64_t until_ms)
{
    m_members.at(device).deaf_until_ms = until_ms;
}

BusOutcome Bus::handle(std::span<const std::uint8_t> frame, unsigned line_baud, std::int64_t now_ms)
{
    BusOutcome out;
    // Notes of the devices the frame was for; devices it passed by all say
    // the same, so the first one's note stands for them.
    std::vector<std::string> notes;
    std::string passed_by;
    for (std::size_t i = 0; i < m_members.size(); ++i) {
        auto& [device, baud, appear_ms, deaf_until_ms] = m_members[i];
        if (now_ms < appear_ms)
            continue; // not connected yet
        const std::uint8_t id = device.id();
        Outcome got;
        // Frames at another speed reach the device as garbage it cannot act on.
        if (baud != 0 && baud != line_baud)
            got.note = "ID " + std::to_string(id) + " silent: set to " + std::to_string(baud) +
                       " baud, line at " +
                       (line_baud != 0 ? std::to_string(line_baud) : "another speed");
        else if (now_ms < deaf_until_ms)
            got.note = "ID " + std::to_string(id) + " silent: restarting";
        else
            got = device.handle(frame);
        if (passed_by.empty())
            passed_by = got.note;
        const bool for_it = !frame.empty() && (frame[0] == id || frame[0] == broadcast_id);
        if (for_it && !got.note.empty() && std::ranges::find(notes, got.note) == notes.end())
            notes.push_back(got.note);
        if (got.taken)
            out.took.push_back(i);
        if (got.old_id)
            out.id_changes.push_back({i, *got.old_id, device.id()});
        if (got.reply)
            out.answers.push_back({i, std::move(*got.reply)});
    }

    if (!out.answers.empty()) {
        std::vector<Bytes> all;
        for (const auto& answer : out.answers)
            all.push_back(answer.bytes);
        out.reply = garble(all);
        out.collision = all.size() > 1;
    }
    if (out.collision)
        notes.insert(notes.begin(), "collision: " + std::to_string(out.answers.size()) +
                                        " devices answered at once");
    if (notes.empty() && out.answers.empty())
        notes.push_back(passed_by);
    for (const std::string& note : notes)
        out.note += (out.note.empty() ? "" : ", ") + note;
    return out;
}

Bytes garble(const std::vector<Bytes>& answers)
{
    Bytes mix;
    for (const Bytes& answer : answers) {
        mix.resize(std::max(mix.size(), answer.size()));
        for (std::size_t i = 0; i < answer.size(); ++i)
            mix[i] |= answer[i];
    }
    // Equal answers would mix into a clean frame; the master must never take one.
    if (answers.size() > 1 && frame_crc_ok(mix))
        mix.back() ^= 0xFF;
    return mix;
}

Bytes with_crc(Bytes body)
{
    body.resize(body.size() + 2);
    put_frame_crc(body);
    return body;
}

} // namespace qrv::devsim
