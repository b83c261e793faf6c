#include "id_rules.h"

#include "fakes.h"
#include "numeric.h"

#include <cmath>
#include <gtest/gtest.h>
#include <optional>

namespace {

using qrv::test::Strings;

TEST(Numeric, WholeTextNumbersAndTheirRounding)
{
    const std::string huge(400, '9'), tiny = "0." + std::string(400, '0') + "1";
    const struct {
        std::string text;
        std::optional<double> value; // nothing: not a number
        std::optional<int> rounded;  // nothing: no 16-bit integer
    } rows[] = {
        // clang-format off
        {"17", 17, 17}, {"+5", 5, 5}, {"-3", -3, -3}, {" 17 ", 17, 17}, {"\t5", 5, 5}, {"5.", 5, 5},
        {".5", 0.5, 0}, {"0.5", 0.5, 0}, {"1.5", 1.5, 2}, {"2.5", 2.5, 2}, {"246.5", 246.5, 246},
        {"247.5", 247.5, 248}, {"-0.5", -0.5, 0}, {"0.5000000000000001", 0.5000000000000001, 1},
        {"32767", 32767, 32767}, {"32767.5", 32767.5, {}}, {"-32768.5", -32768.5, -32768},
        {"-32768.6", -32768.6, {}}, {"40000", 40000, {}}, {huge, HUGE_VAL, {}}, {tiny, 0, 0},
        {"", {}, {}}, {"  ", {}, {}}, {"-", {}, {}}, {"+", {}, {}}, {".", {}, {}}, {"-.", {}, {}},
        {"1e3", {}, {}}, {"1,000", {}, {}}, {"0x10", {}, {}}, {"1 7", {}, {}}, {"1.2.3", {}, {}},
        {"5-", {}, {}}, {"+-5", {}, {}}, {"abc", {}, {}}, {"\xEF\xBC\x91\xEF\xBC\x97", {}, {}},
        // clang-format on
    };
    for (const auto& row : rows) {
        SCOPED_TRACE("\"" + row.text + "\"");
        const auto value = qrv::numeric_value(row.text);
        ASSERT_EQ(value, row.value);
        if (value) {
            const auto rounded = qrv::round_to_i16(*value);
            EXPECT_EQ(rounded ? std::optional<int>(*rounded) : std::nullopt, row.rounded);
        }
    }
    EXPECT_FALSE(qrv::round_to_i16(std::nan("")));
}

TEST(EntryChecks, FirstFailureOnly)
{
    const std::string port = qrv::msg_open_port, old_id = qrv::msg_old_id, new_id = qrv::msg_new_id;
    const struct {
        bool open;
        std::string old_text, new_text, message; // no message: the checks pass
    } rows[] = {
        // clang-format off
        {false, "17", "1", port}, {false, "abc", "0", port}, {true, "abc", "0", old_id},
        {true, "", "", old_id}, {true, "17", "0", new_id},
        {true, "17", "248", new_id}, {true, "0", "1", old_id}, {true, "-1", "1", old_id},
        {true, "1", "247", ""}, {true, "247", "1", ""},
        {true, " 17 ", "+1", ""}, {true, "247.4", "1", old_id}, {true, "17", "247.4", new_id},
        // The value as it stands, not rounded.
        {true, "0.4", "1", ""}, {true, "17", "0.4", ""}, {true, "246.6", "246.6", ""},
        // clang-format on
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(std::to_string(row.open) + " \"" + row.old_text + "\" \"" + row.new_text);
        qrv::test::FakeWindow window;
        window.port_open = row.open;
        window.old_id = row.old_text;
        window.new_id = row.new_text;
        qrv::test::MessageRecorder messages;
        EXPECT_EQ(qrv::entry_checks_pass(window, messages), row.message.empty());
        EXPECT_EQ(messages.messages, row.message.empty() ? Strings{} : Strings{row.message});
    }
}

} // namespace
