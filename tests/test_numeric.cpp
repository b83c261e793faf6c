#include "numeric.h"

#include <cmath>
#include <gtest/gtest.h>
#include <optional>
#include <string>

namespace {

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

} // namespace
