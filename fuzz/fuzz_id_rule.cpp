// Whatever is typed or pasted into an ID box: the number readers and the
// box's change rule, with the box raising its change event again on every
// rewrite as the real one does.
#include "fakes.h"
#include "id_rules.h"
#include "numeric.h"

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

using qrv::IdBox;

void require(bool ok, const char* what)
{
    if (!ok) {
        std::fprintf(stderr, "invariant broken: %s\n", what);
        std::abort();
    }
}

// Rounding to the nearest 16-bit integer, halves to even, or nothing.
void check_rounding(double value)
{
    const auto whole = qrv::round_to_i16(value);
    const bool fits = value >= -32768.5 && value < 32767.5;
    require(whole.has_value() == fits, "rounded value present exactly when it fits 16 bits");
    if (!whole)
        return;
    require(std::fabs(value - *whole) <= 0.5, "not the nearest integer");
    if (std::fabs(value - *whole) == 0.5)
        require(*whole % 2 == 0, "a half went to the odd neighbour");
    const auto back = qrv::numeric_value(std::to_string(*whole));
    require(back && *back == *whole, "the decimal text of a rounded value reads back differently");
}

// A box whose every change of text runs the rule again, nested.
class EchoingWindow : public qrv::test::FakeWindow {
public:
    explicit EchoingWindow(qrv::MessageSink& messages) : m_messages(messages) {}

    void set_old_id_text(const std::string& text) override { change(IdBox::old_id, old_id, text); }
    void set_new_id_text(const std::string& text) override { change(IdBox::new_id, new_id, text); }

    void run_rule(IdBox box)
    {
        // The rewrite is the decimal text of an integer, which the nested
        // run leaves as it is: deeper means the rule feeds itself.
        require(++m_depth <= 2, "the rule keeps rewriting the box");
        qrv::apply_id_change_rule(*this, m_messages, box);
        --m_depth;
    }

private:
    void change(IdBox box, std::string& slot, const std::string& text)
    {
        if (text == slot)
            return;
        slot = text;
        run_rule(box);
    }

    qrv::MessageSink& m_messages;
    int m_depth = 0;
};

void check_rule(const std::string& typed, IdBox box)
{
    qrv::test::MessageRecorder messages;
    EchoingWindow window(messages);
    const std::string other = box == IdBox::old_id ? window.new_id : window.old_id;
    (box == IdBox::old_id ? window.old_id : window.new_id) = typed;
    window.run_rule(box);

    const std::string after = box == IdBox::old_id ? window.old_id : window.new_id;
    require(other == (box == IdBox::old_id ? window.new_id : window.old_id),
            "the other box changed");
    const auto value = qrv::numeric_value(typed);
    const auto whole = value ? qrv::round_to_i16(*value) : std::nullopt;
    require(after == (whole ? std::to_string(*whole) : typed),
            "box is neither as typed nor the decimal text of its rounded number");

    const std::string box_message = box == IdBox::old_id ? qrv::msg_old_id : qrv::msg_new_id;
    require(messages.messages.size() <= 2, "more than two messages");
    for (const auto& m : messages.messages)
        require(m == box_message, "another box's message");
    const auto now = qrv::numeric_value(after);
    const bool valid_id = now && *now > 0 && *now <= 247;
    require(messages.messages.empty() == valid_id, "message shown exactly when no valid ID");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string text(reinterpret_cast<const char*>(data), size);

    const auto value = qrv::numeric_value(text);
    const double leading = qrv::leading_value(text);
    require(!std::isnan(leading), "leading value is not a number");
    check_rounding(leading);
    if (value) {
        require(!std::isnan(*value), "numeric value is not a number");
        require(leading == *value, "a whole-text number is not its own leading number");
        check_rounding(*value);
    }
    // The same bytes as a double reach the values no text gives: NaN, huge.
    if (size >= sizeof(double)) {
        double raw;
        std::memcpy(&raw, data, sizeof raw);
        check_rounding(raw);
    }

    check_rule(text, IdBox::old_id);
    check_rule(text, IdBox::new_id);
    return 0;
}
