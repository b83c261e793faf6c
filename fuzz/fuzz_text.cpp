// Any text a user types into an ID box or a program leaves in parameter.txt:
// the number readers, the box's change rule (the box raising its change event
// again on every rewrite, as the real one does) and the settings reader, from
// memory and from a file.
#include "fakes.h"
#include "id_rules.h"
#include "numeric.h"
#include "settings_file.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <unistd.h>

namespace {

void require(bool ok, const char* what)
{
    if (!ok) {
        std::fprintf(stderr, "invariant broken: %s\n", what);
        std::abort();
    }
}

// The nearest 16-bit integer, halves to even, or nothing when none is near.
void check_rounding(double value)
{
    const auto whole = qrv::round_to_i16(value);
    require(whole.has_value() == (value >= -32768.5 && value < 32767.5), "16-bit range");
    require(!whole || std::fabs(value - *whole) < 0.5 ||
                (std::fabs(value - *whole) == 0.5 && *whole % 2 == 0),
            "not the nearest integer, or a half to the odd neighbour");
}

// The new-ID box: every change of its text runs the rule again, nested.
class EchoingWindow : public qrv::test::FakeWindow {
public:
    explicit EchoingWindow(qrv::MessageSink& messages) : m_messages(messages) {}
    void set_new_id_text(const std::string& text) override
    {
        if (text != new_id) {
            new_id = text;
            run_rule();
        }
    }
    void run_rule()
    {
        // A rewrite is the decimal text of an integer, which stays as it is.
        require(++m_depth <= 2, "the rule keeps rewriting the box");
        qrv::apply_id_change_rule(*this, m_messages, qrv::IdBox::new_id);
        --m_depth;
    }

private:
    qrv::MessageSink& m_messages;
    int m_depth = 0;
};

void check_id_box(const std::string& text)
{
    const auto value = qrv::numeric_value(text);
    check_rounding(qrv::leading_value(text));
    require(!value || *value == qrv::leading_value(text), "a number is not its own leading one");
    qrv::test::MessageRecorder messages;
    EchoingWindow window(messages);
    window.new_id = text;
    window.run_rule();
    const auto whole = value ? qrv::round_to_i16(*value) : std::nullopt;
    require(window.new_id == (whole ? std::to_string(*whole) : text), "box neither typed nor tidy");
    const bool valid = whole && *whole > 0 && *whole <= 247;
    require(messages.messages.size() <= 2 && messages.messages.empty() == valid,
            "a message exactly when no ID from 1 to 247 remains");
}

void check_settings(const std::string& bytes)
{
    static const std::string path =
        std::string(std::getenv("TMPDIR") ? std::getenv("TMPDIR") : "/tmp") + "/qrv-fuzz-" +
        std::to_string(::getpid()) + ".txt";
    const auto fields = qrv::read_fields(bytes, 2);
    require(fields.size() <= 2, "more fields than asked for");
    for (const auto& field : fields) {
        const auto port = qrv::stored_index(field, 24);
        require(!port || (*port >= 0 && *port < 24), "index out of its list");
    }
    std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
    const auto loaded = qrv::load_port_settings(path);
    require(loaded.has_value() == (fields.size() == 2 && bytes.size() <= 64 * 1024),
            "file and memory disagree on the fields");
    require(!loaded ||
                (loaded->saved_port_index == fields[0] && loaded->saved_baud_index == fields[1]),
            "file and memory read different fields");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string text(reinterpret_cast<const char*>(data), size);
    if (size >= sizeof(double)) { // NaN, infinities and huge values no text gives
        double raw;
        std::memcpy(&raw, data, sizeof raw);
        check_rounding(raw);
    }
    check_id_box(text);
    check_settings(text);
    return 0;
}
