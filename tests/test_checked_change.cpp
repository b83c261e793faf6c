// The checked change on the virtual device's model on the fake line: the
// read at the new ID before, the change, the read-back after, and a stop.
#include "checked_change.h"

#include "device_line.h"
#include "files.h"
#include "golden.h"

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
    const auto held = [](int confirm_ms) {
        return [=](DeviceLine& l, ChangeChecks& c) {
            l.held_id = 1;
            l.held_until = 1900; // the new ID is stored first
            c.confirm_ms = confirm_ms;
        };
    };
    const struct {
        std::vector<std::uint8_t> ids;
        devsim::Faults faults;
        Setup setup;
        O outcome;
        std::optional<K> before, after;
        std::string readback; // the entry's last line
    } rows[] = {
        // clang-format off
        {{17}, {}, as_is, O::confirmed, K::none, K::value, "已在ID 1 读回确认"},
        // Any answer at the new ID means it is taken, even one later than the window.
        {{17, 1}, {}, as_is, O::taken, K::value, {}, ""},
        {{17, 1}, {}, late(300, 100), O::taken, K::value, {}, ""},
        {{17, 1, 1}, {}, as_is, O::taken, K::bad_crc, {}, ""}, // two devices there
        // Only the new ID read at the new ID confirms, not any value there.
        {{}, {}, [](DeviceLine& l, ChangeChecks&) {
             l.serial.device = [changed = false](const Bytes& frame) mutable {
                 changed = changed || frame == request_17_to_1;
                 return frame == request_17_to_1 ? echo_from_1
                        : changed ? devsim::with_crc({1, 3, 2, 0, 17}) : Bytes{};
             };
         }, O::unconfirmed, K::none, K::value, "在ID 1 读回：寄存器10 = 17，新ID未确认"},
        {{17}, {}, late(700, 800), O::confirmed, K::none, K::value, "已在ID 1 读回确认"},
        {{17}, {true, false}, as_is, O::mismatch, K::none, {}, ""},
        {{}, {}, [](DeviceLine&, ChangeChecks& c) { c.check_free = false; }, O::no_reply, {}, {}, ""},
        {{17}, {false, true}, as_is, O::unconfirmed, K::none, K::none, "在ID 1 读回：无应答，新ID未确认"},
        {{17}, {false, true}, [](DeviceLine&, ChangeChecks& c) { c.verify = false; }, O::unverified, K::none, {}, "未读回确认"},
        {{17}, {}, held(1000), O::confirmed, K::none, K::value, "已在ID 1 读回确认"},
        {{17}, {}, held(0), O::unconfirmed, K::none, K::none, "在ID 1 读回：无应答，新ID未确认"},
        {{17}, {}, [](DeviceLine& l, ChangeChecks&) { l.serial.write_status = sio_write_failed; }, O::not_sent, K::none, {}, ""},
        // clang-format on
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(std::string(to_string(row.outcome)) + " " + row.readback);
        DeviceLine line(row.ids, row.faults);
        ChangeChecks checks;
        row.setup(line, checks);
        TempDir dir;
        OpenPort port{line.serial, 9, line.clock, 115200, line_guard_ms};
        const CheckedChange c = checked_change(port, dir.path(), 17, 1, checks);
        EXPECT_EQ(c.outcome, row.outcome);
        EXPECT_EQ(c.before ? std::optional(c.before->kind) : std::nullopt, row.before);
        EXPECT_EQ(c.after ? std::optional(c.after->kind) : std::nullopt, row.after);
        EXPECT_EQ(c.readback, row.readback);

        // Nothing goes to the old ID unless the change is sent.
        const bool sent = std::ranges::count(line.serial.written, request_17_to_1) > 0;
        EXPECT_EQ(sent, row.outcome != O::taken && row.outcome != O::not_sent);
    }
}

TEST(CheckedChange, StopLeavesOutWhatIsNotSentAndKeepsWhatIs)
{
    for (const std::int64_t stop_at : {0, 1000}) {
        DeviceLine line({17});
        ChangeChecks checks;
        checks.stop = [&] { return line.clock.now >= stop_at; };
        TempDir dir;
        OpenPort port{line.serial, 9, line.clock, 115200, line_guard_ms};
        const CheckedChange c = checked_change(port, dir.path(), 17, 1, checks);
        EXPECT_TRUE(c.stopped);
        EXPECT_EQ(c.outcome, stop_at ? CheckedChange::Outcome::unverified
                                     : CheckedChange::Outcome::not_run);
        EXPECT_EQ(c.readback, stop_at ? "已中断，未读回确认" : "");
        EXPECT_EQ(line.serial.written.size(), stop_at ? 2U : 0U); // the check and the change
    }
}
