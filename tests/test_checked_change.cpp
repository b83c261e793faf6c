// The checked change on the virtual device's model on the fake line: the
// read at the new ID before, the change, the read-back after, and a stop.
#include "checked_change.h"

#include "device_line.h"
#include "files.h"
#include "golden.h"
#include "oplog.h"

#include <functional>
#include <gtest/gtest.h>

using namespace qrv;
using namespace qrv::test;

TEST(CheckedChange, OutcomeFollowsTheLineAndTheReads)
{
    using O = CheckedChange::Outcome;
    using K = ReadReply::Kind;
    using Setup = std::function<void(DeviceLine&, ChangeChecks&)>;
    const Setup as_is = [](DeviceLine&, ChangeChecks&) {};
    const auto late = [](int ms, int timeout) {
        return [=](DeviceLine& l, ChangeChecks& c) {
            l.serial.latency_ms = ms;
            c.read_timeout_ms = timeout;
        };
    };
    // The device's answer to the change replaced, the device changing all the same.
    const auto change_answered = [](std::function<Bytes(DeviceLine&)> answer) {
        return [=](DeviceLine& l, ChangeChecks&) {
            l.serial.device = [&l, answer, bus = l.serial.device](const Bytes& frame) {
                const Bytes reply = bus(frame);
                return frame[1] == fc_write_single_register ? answer(l) : reply;
            };
        };
    };
    // A device that stores its new ID first, or restarts: deaf at it until then.
    const auto held = [](std::int64_t until, int confirm_ms) {
        return [=](DeviceLine& l, ChangeChecks& c) {
            l.held_id = 1;
            l.held_until = until;
            c.confirm_ms = confirm_ms;
        };
    };
    // Bytes that answer nothing, in the window of the first reads at the new ID.
    const auto noise = [](Bytes bytes, int reads = 1) {
        return [=](DeviceLine& l, ChangeChecks&) {
            l.serial.device = [&l, bytes, bus = l.serial.device,
                               reads](const Bytes& frame) mutable {
                if (frame[0] == 1 && reads-- > 0)
                    l.serial.arrive(bytes, 20);
                return bus(frame);
            };
        };
    };
    const struct {
        std::vector<std::uint8_t> ids;
        devsim::Faults faults;
        Setup setup;
        O outcome;
        std::optional<K> before, after;
        std::string readback;
    } rows[] = {
        // clang-format off
        {{17}, {}, as_is, O::confirmed, K::none, K::value, "已在ID 1 读回确认"},
        // Any answer at the new ID means it is taken, even one later than the window.
        {{17, 1}, {}, as_is, O::taken, K::value, {}, ""},
        {{17, 1}, {}, late(300, 100), O::taken, K::value, {}, ""},
        {{17, 1, 1}, {}, as_is, O::taken, K::bad_crc, {}, ""}, // two devices there
        // Noise there is no device, however long, when it does not come again.
        {{17}, {}, noise({0xAB, 0xCD}), O::confirmed, K::none, K::value, "已在ID 1 读回确认"},
        {{17}, {}, noise({1, 2, 3, 4, 5, 6}), O::confirmed, K::none, K::value, "已在ID 1 读回确认"},
        {{17}, {}, noise(devsim::with_crc({27, 3, 2, 0, 27}), 2), O::confirmed, K::none, K::value,
         "已在ID 1 读回确认"}, // another device's answer, to no request of this line
        // One device, and only one, at the old ID, or nothing is sent.
        {{}, {}, as_is, O::no_device, K::none, {}, ""},
        // The device already at the new ID: a change made before, but only the free check says so.
        {{1}, {}, as_is, O::already_done, K::value, {}, ""},
        {{1}, {}, [](DeviceLine&, ChangeChecks& c) { c.check_free = false; }, O::no_device, {}, {}, ""},
        {{17, 17}, {}, as_is, O::several, {}, {}, ""},
        // Only the new ID read at the new ID confirms, not any value there.
        {{}, {}, [](DeviceLine& l, ChangeChecks&) {
             l.serial.device = [changed = false](const Bytes& frame) mutable {
                 changed = changed || frame == request_17_to_1;
                 return frame == request_17_to_1 ? echo_from_1
                        : changed || frame[0] == 17 ? devsim::with_crc({frame[0], 3, 2, 0, 17}) : Bytes{};
             };
         }, O::unconfirmed, K::none, K::value, "在ID 1 读回 2.5 秒：寄存器10 = 17，新ID未确认"},
        {{17}, {}, late(700, 800), O::confirmed, K::none, K::value, "已在ID 1 读回确认"},
        {{}, {}, [](DeviceLine&, ChangeChecks& c) { c.check_old = c.check_free = false; }, O::no_reply, {}, K::none,
         "在ID 1 读回 2.5 秒：无应答，新ID未确认"},
        // A device that moved is said to have, though its echo was wrong, missing, late or busy.
        {{17}, {true, false}, as_is, O::moved, K::none, K::value, "已在ID 1 读回确认（更改的应答来自原地址）"},
        {{17}, {}, change_answered([](DeviceLine&) { return Bytes{}; }), O::moved, K::none, K::value,
         "已在ID 1 读回确认（未收到更改的应答）"},
        {{17}, {}, change_answered([](DeviceLine& l) { l.serial.arrive(echo_from_1, 1100); return Bytes{}; }),
         O::moved, K::none, K::value, "已在ID 1 读回确认（更改的应答晚于等待时间）"},
        {{17}, {false, true}, change_answered([](DeviceLine& l) { l.serial.arrive(echo_from_1, 1100); return Bytes{}; }),
         O::no_reply, K::none, K::none,
         "在ID 1 读回 2.5 秒：无应答，新ID未确认（更改的应答晚于等待时间，可用 --timeout 加长等待）"},
        {{17}, {}, change_answered([](DeviceLine&) { return devsim::with_crc({17, 0x86, 5}); }), O::moved, K::none,
         K::value, "已在ID 1 读回确认（更改的应答为异常码 05（确认））"},
        {{17}, {}, change_answered([](DeviceLine&) { Bytes b = echo_from_1; b.push_back(0); return b; }),
         O::confirmed, K::none, K::value, "已在ID 1 读回确认"}, // a stray byte after the echo
        {{17}, {false, false, 3}, as_is, O::refused, K::none, {}, ""},
        {{17}, {false, false, 6}, as_is, O::refused, K::none, K::none, "在ID 1 读回 2.5 秒：无应答，新ID未确认"},
        {{17}, {false, true}, as_is, O::unconfirmed, K::none, K::none, "在ID 1 读回 2.5 秒：无应答，新ID未确认"},
        {{17}, {false, true}, [](DeviceLine&, ChangeChecks& c) { c.verify = false; }, O::unverified, K::none, {}, "未读回确认"},
        // Firmware that stores its new ID first, or restarts for 1.8 s after its echo.
        {{17}, {}, held(1900, 1000), O::confirmed, K::none, K::value, "已在ID 1 读回确认"},
        {{17}, {}, held(1900, 0), O::unconfirmed, K::none, K::none, "在ID 1 读回 0.1 秒：无应答，新ID未确认"},
        {{17}, {}, held(2310, default_confirm_ms), O::confirmed, K::none, K::value, "已在ID 1 读回确认"},
        // A line that fails is said, and the free-ID check does not pass without listening.
        {{17}, {}, [](DeviceLine& l, ChangeChecks&) { l.serial.write_status = sio_write_failed; }, O::not_sent, {}, {}, ""},
        // clang-format on
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(std::string(to_string(row.outcome)) + " " + row.readback);
        DeviceLine line(row.ids, row.faults);
        ChangeChecks checks;
        row.setup(line, checks);
        TempDir dir;
        Line port{line.serial, 9, line.clock, 115200, late_answer_ms};
        const CheckedChange c = checked_change(port, dir.path(), 17, 1, checks);
        EXPECT_EQ(c.outcome, row.outcome);
        EXPECT_EQ(c.before ? std::optional(c.before->kind) : std::nullopt, row.before);
        EXPECT_EQ(c.after ? std::optional(c.after->kind) : std::nullopt, row.after);
        EXPECT_EQ(c.readback, row.readback);

        // Nothing goes to the old ID unless the change is sent; its record ends with what is said.
        const bool sent = std::ranges::count(line.serial.written, request_17_to_1) > 0;
        EXPECT_EQ(sent, row.outcome != O::taken && row.outcome != O::not_sent &&
                            row.outcome != O::no_device && row.outcome != O::several &&
                            row.outcome != O::already_done);
        EXPECT_EQ(c.line_status, row.outcome == O::not_sent ? sio_write_failed : sio_ok);
        EXPECT_EQ(sent && c.change.entry.ends_with(c.text + entry_close()), sent) << c.change.entry;
    }
}

// A stop leaves out what is not sent yet: the change before it goes, the
// read-back after it (then interrupted), never the attempt itself.
TEST(CheckedChange, StopLeavesOutWhatIsNotSentAndKeepsWhatIs)
{
    using O = CheckedChange::Outcome;
    const struct {
        std::int64_t stop_at;
        O outcome;
        std::string readback;
        std::size_t written; // the checks, the change, reads after
    } rows[] = {
        {0, O::not_run, "", 0},
        {1000, O::unverified, "已中断，未读回确认", 3},
        {1600, O::unverified, "已中断，未读回确认", 4}, // during the read-back
    };
    for (const auto& row : rows) {
        DeviceLine line({17});
        line.held_id = 1;
        line.held_until = 1900;
        ChangeChecks checks;
        TempDir dir;
        Line port{line.serial, 9, line.clock, 115200, late_answer_ms};
        port.set_stop([&] { return line.clock.now >= row.stop_at; });
        const CheckedChange c = checked_change(port, dir.path(), 17, 1, checks);
        EXPECT_TRUE(c.stopped);
        EXPECT_EQ(c.outcome, row.outcome) << row.stop_at;
        EXPECT_EQ(c.readback, row.readback) << row.stop_at;
        EXPECT_EQ(line.serial.written.size(), row.written) << row.stop_at;
    }
}
