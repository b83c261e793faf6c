// Any text a user types into an ID box, a program leaves in parameter.txt or
// a technician gives qrv-idctl as a batch: the number readers, the box's
// change rule (the box raising its change event again on every rewrite, as
// the real one does), the settings reader, from memory and from a file, and
// the batch reader.
#include "batch_file.h"
#include "fakes.h"
#include "id_rules.h"
#include "numeric.h"
#include "settings_file.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <set>
#include <unistd.h>

namespace {

void require(bool ok, const char* what)
{
    if (!ok) {
        std::fprintf(stderr, "invariant broken: %s\n", what);
        std::abort();
    }
}

// The new-ID box: every change of its text runs the rule again, nested.
class EchoingWindow : public qrv::test::FakeWindow, public qrv::test::MessageRecorder {
public:
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
        qrv::apply_id_change_rule(*this, *this, qrv::IdBox::new_id);
        --m_depth;
    }

private:
    int m_depth = 0;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static const std::string path = std::string(std::getenv("TMPDIR") ?: "/tmp") + "/qrv-fuzz-" +
                                    std::to_string(::getpid()) + ".txt";
    const std::string text(reinterpret_cast<const char*>(data), size);
    double raw = 0; // NaN, infinities and huge values no text gives
    std::memcpy(&raw, data, std::min(size, sizeof raw));
    for (const double value : {raw, qrv::leading_value(text)}) {
        const auto whole = qrv::round_to_i16(value);
        require(whole.has_value() == (value >= -32768.5 && value < 32767.5), "16-bit range");
        require(!whole || std::fabs(value - *whole) < 0.5 ||
                    (std::fabs(value - *whole) == 0.5 && *whole % 2 == 0),
                "not the nearest integer, or a half to the odd neighbour");
    }

    EchoingWindow box;
    box.new_id = text;
    box.run_rule();
    const auto value = qrv::numeric_value(text);
    const auto whole = value ? qrv::round_to_i16(*value) : std::nullopt;
    require(box.new_id == (whole ? std::to_string(*whole) : text), "box neither as typed nor tidy");
    require(box.messages.size() <= 2 &&
                box.messages.empty() == (whole && *whole > 0 && *whole <= 247),
            "a message exactly when no ID from 1 to 247 remains");

    const auto fields = qrv::read_fields(qrv::settings_text(text), 2);
    for (const auto& field : fields)
        require(qrv::stored_index(field, 24).value_or(0) < 24, "index out of its list");
    std::ofstream(path, std::ios::binary | std::ios::trunc) << text;
    const auto loaded = qrv::load_port_settings(path);
    require(fields.size() <= 2 && loaded.has_value() == (fields.size() == 2 && size <= 64 * 1024),
            "file and memory disagree on the fields");
    require(!loaded ||
                (loaded->saved_port_index == fields[0] && loaded->saved_baud_index == fields[1]),
            "file and memory read different fields");

    // A batch runs only as a list a line of devices can follow.
    const auto batch = qrv::cli::parse_batch(text);
    require(!batch.changes.empty() || !batch.errors.empty(), "neither changes nor a reason");
    require(batch.errors.size() <= 20, "more than 20 errors");
    std::set<int> old_ids, new_ids;
    for (const auto& c : batch.changes) {
        require(c.old_id >= 1 && c.old_id <= 247 && c.new_id >= 1 && c.new_id <= 247 &&
                    c.old_id != c.new_id,
                "a change of no ID from 1 to 247, or to itself");
        require(old_ids.insert(c.old_id).second && new_ids.insert(c.new_id).second,
                "an ID changed twice, or taken twice");
    }
    // A new ID may be one an earlier line's device has left, never a later line's.
    for (const auto& c : batch.changes)
        for (const auto& later : batch.changes)
            require(later.old_id != c.new_id || later.line < c.line || !batch.errors.empty(),
                    "a new ID that a later line takes");
    return 0;
}
