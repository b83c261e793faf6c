#include "id_rules.h"

#include "fakes.h"
#include "golden.h"

#include <gtest/gtest.h>

namespace {

using qrv::test::Strings;

TEST(EntryChecks, FirstFailureOnly)
{
    using namespace qrv::test::said;
    const std::string port = open_port;
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
