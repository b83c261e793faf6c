// What the two ID boxes accept, and the checks that open a change of ID.
#pragma once

#include "vocabulary.h"
#include "window_state.h"

#include <cstdint>
#include <string>

namespace qrv {

enum class IdBox { old_id, new_id };

// Runs on every change of the box's text: a number is rewritten as the
// decimal text of its nearest integer (which changes the text again and so
// runs this rule nested); the box's message is shown when the text is not a
// number from 1 to 247. A number too large for 16 bits is left as typed.
void apply_id_change_rule(WindowState& window, MessageSink& messages, IdBox box);

// The box's message when its text is not a number with 0 < value <= 247;
// true when it is.
bool check_id_box(const WindowState& window, MessageSink& messages, IdBox box);

// The checks before a change: port open, then old ID, then new ID, each a
// number with 0 < value <= 247. Shows the first failure's message and
// returns false; later checks do not run.
bool entry_checks_pass(const WindowState& window, MessageSink& messages);

// The ID byte of a box text that passed the entry checks: its nearest integer.
std::uint8_t id_byte(const std::string& text);

} // namespace qrv
