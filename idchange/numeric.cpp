#include "numeric.h"

#include <charconv>
#include <cmath>

namespace qrv {

namespace {

constexpr bool is_digit(char c)
{
    return c >= '0' && c <= '9';
}

// Length of the number at the start of text: sign, digits, one point,
// digits. 0 when there is no digit in it.
std::size_t number_prefix(std::string_view text)
{
    std::size_t i = 0;
    if (i < text.size() && (text[i] == '+' || text[i] == '-'))
        ++i;
    std::size_t digits = 0;
    while (i < text.size() && is_digit(text[i])) {
        ++i;
        ++digits;
    }
    if (i < text.size() && text[i] == '.') {
        ++i;
        while (i < text.size() && is_digit(text[i])) {
            ++i;
            ++digits;
        }
    }
    return digits > 0 ? i : 0;
}

std::string_view skip_blanks(std::string_view text)
{
    while (!text.empty() && is_blank(text.front()))
        text.remove_prefix(1);
    return text;
}

// from_chars on the checked prefix alone: no locale (the window sets the
// user's), exponent or hex form can reach it. A number too large for a double
// reads as infinity, which callers reject; one too small reads as 0.
double to_double(std::string_view number)
{
    double sign = 1.0;
    if (number.front() == '+' || number.front() == '-') {
        sign = number.front() == '-' ? -1.0 : 1.0;
        number.remove_prefix(1);
    }
    double value = 0.0;
    const auto [end, ec] = std::from_chars(number.data(), number.data() + number.size(), value,
                                           std::chars_format::fixed);
    if (ec == std::errc::result_out_of_range) {
        // Too large, or too small: which one the whole part tells.
        const std::string_view whole = number.substr(0, number.find('.'));
        value = whole.find_first_not_of('0') == std::string_view::npos ? 0.0 : HUGE_VAL;
    }
    return sign * value;
}

} // namespace

std::optional<double> numeric_value(std::string_view text)
{
    text = skip_blanks(text);
    const std::size_t len = number_prefix(text);
    if (len == 0 || !skip_blanks(text.substr(len)).empty())
        return std::nullopt;
    return to_double(text.substr(0, len));
}

double leading_value(std::string_view text)
{
    text = skip_blanks(text);
    const std::size_t len = number_prefix(text);
    return len == 0 ? 0.0 : to_double(text.substr(0, len));
}

std::optional<std::int16_t> round_to_i16(double value)
{
    const double whole = std::nearbyint(value); // default rounding: halves to even
    if (!(whole >= -32768.0 && whole <= 32767.0))
        return std::nullopt;
    return static_cast<std::int16_t>(whole);
}

} // namespace qrv
