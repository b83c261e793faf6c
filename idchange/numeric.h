// Reading numbers out of texts typed by a user or stored in a file.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace qrv {

// Blanks as the entry boxes and the settings file skip them.
constexpr bool is_blank(char c)
{
    return c == ' ' || c == '\t';
}

// The value of a whole-text number: blanks, an optional sign, decimal digits
// with at most one point among them (at least one digit), blanks. Exponents,
// separators, prefixes and full-width digits are not numbers here.
std::optional<double> numeric_value(std::string_view text);

// The value of the longest leading decimal number after leading blanks, 0
// when the text does not begin with one ("3.5x" is 3.5, "x" is 0).
double leading_value(std::string_view text);

// To the nearest integer, halves to the even neighbour; nothing when the
// result does not fit in 16 signed bits (or is not a number).
std::optional<std::int16_t> round_to_i16(double value);

} // namespace qrv
