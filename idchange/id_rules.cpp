#include "id_rules.h"

#include "numeric.h"

#include <string>

namespace qrv {

namespace {

bool in_id_range(double value)
{
    return value > 0 && value <= max_id;
}

std::string box_text(const WindowState& window, IdBox box)
{
    return box == IdBox::old_id ? window.old_id_text() : window.new_id_text();
}

std::string box_message(IdBox box)
{
    return box == IdBox::old_id ? msg_old_id : msg_new_id;
}

} // namespace

void apply_id_change_rule(WindowState& window, MessageSink& messages, IdBox box)
{
    const auto value = numeric_value(box_text(window, box));
    const auto whole = value ? round_to_i16(*value) : std::nullopt;
    if (!whole) {
        messages.show_message(box_message(box));
        return;
    }
    const std::string text = std::to_string(*whole);
    if (text != box_text(window, box)) {
        if (box == IdBox::old_id)
            window.set_old_id_text(text);
        else
            window.set_new_id_text(text);
    }
    // The box may have been rewritten by the nested run; judge what it holds.
    const auto now = numeric_value(box_text(window, box));
    if (!now || !in_id_range(*now))
        messages.show_message(box_message(box));
}

bool check_id_box(const WindowState& window, MessageSink& messages, IdBox box)
{
    const auto value = numeric_value(box_text(window, box));
    if (value && in_id_range(*value))
        return true;
    messages.show_message(box_message(box));
    return false;
}

bool entry_checks_pass(const WindowState& window, MessageSink& messages)
{
    if (!window.is_port_open()) {
        messages.show_message(msg_open_port);
        return false;
    }
    return check_id_box(window, messages, IdBox::old_id) &&
           check_id_box(window, messages, IdBox::new_id);
}

std::uint8_t id_byte(const std::string& text)
{
    return static_cast<std::uint8_t>(round_to_i16(numeric_value(text).value_or(0)).value_or(0));
}

} // namespace qrv
