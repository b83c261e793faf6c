// Keys typed one by one into an emptied ID box, as both windows must take
// them: what the box then shows and how many messages the typing gave. The
// ID rule rewrites the box as it goes; typing goes on at the end, so no key
// can land before the digits already there ("1.5" is 1, then 15, never 51).
#pragma once

namespace qrv::test {

struct Keystrokes {
    const char* keys; // '\b' is Backspace
    const char* shown;
    int messages;
};

inline constexpr Keystrokes id_box_keystrokes[] = {
    {"17", "17", 0},    {"005", "5", 3}, {"1.5", "15", 0}, {"2.5", "25", 0},  {"248", "248", 1},
    {"248\b", "24", 1}, {"-5", "-5", 2}, {" 7", "7", 1},   {"1e3", "1e3", 2}, {"99999", "99999", 3},
};

} // namespace qrv::test
