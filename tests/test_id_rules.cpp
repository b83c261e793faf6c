#include "id_rules.h"

#include "fakes.h"
#include "form1.h"
#include "numeric.h"
#include "pty.h"
#include "qt_app.h"

#include <QLineEdit>
#include <gtest/gtest.h>

#include <cmath>
#include <optional>
#include <string>
#include <vector>

namespace {

using qrv::IdBox;
using qrv::test::FakeWindow;
using qrv::test::MessageRecorder;
using Strings = std::vector<std::string>;

TEST(Numeric, WholeTextNumbersAndTheirRounding)
{
    const std::string digits400(400, '9');
    const std::string tiny = "0." + std::string(400, '0') + "1";
    struct Row {
        std::string text;
        std::optional<double> value; // nothing: not a number
        std::optional<int> rounded;  // nothing: does not fit in 16 bits
    } rows[] = {
        {"17", 17, 17},
        {"+5", 5, 5},
        {"-3", -3, -3},
        {"1.5", 1.5, 2},
        {".5", 0.5, 0},
        {" 17 ", 17, 17},
        {"5.", 5, 5},
        {"\t5", 5, 5},
        {"", {}, {}},
        {"  ", {}, {}},
        {"-", {}, {}},
        {"+", {}, {}},
        {".", {}, {}},
        {"-.", {}, {}},
        {"1e3", {}, {}},
        {"1,000", {}, {}},
        {"0x10", {}, {}},
        {"\xEF\xBC\x91\xEF\xBC\x97", {}, {}}, // full-width "17"
        {"1 7", {}, {}},
        {"1.2.3", {}, {}},
        {"5-", {}, {}},
        {"+-5", {}, {}},
        {"abc", {}, {}},
        {"0.5", 0.5, 0},
        {"2.5", 2.5, 2},
        {"246.5", 246.5, 246},
        {"247.5", 247.5, 248},
        {"-0.5", -0.5, 0},
        {"0.5000000000000001", 0.5000000000000001, 1},
        {"2.4999999999999996", 2.4999999999999996, 2},
        {"32767", 32767, 32767},
        {"32767.5", 32767.5, {}},
        {"-32768", -32768, -32768},
        {"-32768.5", -32768.5, -32768},
        {"-32768.6", -32768.6, {}},
        {"40000", 40000, {}},
        {"-99999", -99999, {}},
        {digits400, HUGE_VAL, {}},
        {tiny, 0, 0},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE("text \"" + row.text + "\"");
        const auto value = qrv::numeric_value(row.text);
        ASSERT_EQ(value.has_value(), row.value.has_value());
        if (!value)
            continue;
        EXPECT_EQ(*value, *row.value);
        const auto rounded = qrv::round_to_i16(*value);
        ASSERT_EQ(rounded.has_value(), row.rounded.has_value());
        if (rounded) {
            EXPECT_EQ(*rounded, *row.rounded);
        }
    }
    EXPECT_FALSE(qrv::round_to_i16(std::nan("")));
    EXPECT_FALSE(qrv::round_to_i16(-HUGE_VAL));
}

TEST(Numeric, LeadingValue)
{
    const struct {
        const char* text;
        double value;
    } rows[] = {{"3.5x", 3.5},     {"  42abc", 42}, {"x", 0},  {"-7", -7},      {"", 0},
                {"\t+2.5,1", 2.5}, {"1e3", 1},      {"-x", 0}, {"-.5\"", -0.5}, {"7 8", 7}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.text);
        EXPECT_EQ(qrv::leading_value(row.text), row.value);
    }
}

// The real window on an empty folder; its services are fakes so nothing
// blocks or touches a port.
class IdBoxes : public testing::Test {
protected:
    QLineEdit* box(IdBox which) const
    {
        return which == IdBox::old_id ? form.Text_old : form.Text_new;
    }
    static const char* message(IdBox which)
    {
        return which == IdBox::old_id ? qrv::msg_old_id : qrv::msg_new_id;
    }
    static const char* name(IdBox which)
    {
        return which == IdBox::old_id ? "Text_old" : "Text_new";
    }
    // Puts a valid text in the box that no row uses, then forgets its messages.
    void reset(IdBox which)
    {
        box(which)->setText(QStringLiteral("100"));
        messages.messages.clear();
    }

    qrv::test::TempDir dir;
    MessageRecorder messages;
    qrv::test::FakeClock clock;
    qrv::test::FakeSerial serial;
    Form1 form{dir.path(), {&messages, &clock, &serial}};
};

TEST_F(IdBoxes, TextSetAtOnce)
{
    const std::string digits30(30, '9');
    const struct {
        std::string text, after;
        std::size_t messages;
    } rows[] = {
        {"17", "17", 0},         {"0", "0", 1},
        {"-3", "-3", 1},         {"", "", 1},
        {"-", "-", 1},           {"+", "+", 1},
        {".", ".", 1},           {"017", "17", 0},
        {" 5 ", "5", 0},         {"+5", "5", 0},
        {"5.", "5", 0},          {"1.5", "2", 0},
        {"2.5", "2", 0},         {"247", "247", 0},
        {"1", "1", 0},           {"247.5", "248", 2},
        {"0.5", "0", 2},         {"248", "248", 1},
        {"32767", "32767", 1},   {"40000", "40000", 1},
        {"-99999", "-99999", 1}, {digits30, digits30, 1},
        {"abc", "abc", 1},
    };
    for (const IdBox which : {IdBox::old_id, IdBox::new_id}) {
        for (const auto& row : rows) {
            SCOPED_TRACE(std::string(name(which)) + " \"" + row.text + "\"");
            reset(which);
            box(which)->setText(QString::fromStdString(row.text));
            EXPECT_EQ(box(which)->text().toStdString(), row.after);
            EXPECT_EQ(box(which)->cursorPosition(), box(which)->text().size());
            EXPECT_EQ(messages.messages, Strings(row.messages, message(which)));
        }
    }
}

TEST_F(IdBoxes, TypedKeyByKey)
{
    const struct {
        std::string keys;
        std::vector<std::string> texts; // after each key
        std::vector<std::size_t> messages;
    } rows[] = {
        {"248", {"2", "24", "248"}, {0, 0, 1}},
        {"017", {"0", "1", "17"}, {1, 1, 1}},
    };
    for (const IdBox which : {IdBox::old_id, IdBox::new_id}) {
        for (const auto& row : rows) {
            SCOPED_TRACE(std::string(name(which)) + " typing " + row.keys);
            reset(which);
            box(which)->selectAll();
            box(which)->del();
            messages.messages.clear(); // the empty box's own message
            for (std::size_t k = 0; k < row.keys.size(); ++k) {
                SCOPED_TRACE(testing::Message() << "key " << k + 1);
                box(which)->insert(QString(QChar(row.keys[k])));
                EXPECT_EQ(box(which)->text().toStdString(), row.texts[k]);
                EXPECT_EQ(box(which)->cursorPosition(), box(which)->text().size());
                EXPECT_EQ(messages.messages, Strings(row.messages[k], message(which)));
            }
        }
    }
}

TEST_F(IdBoxes, SameTextAgainRaisesNoChange)
{
    for (const IdBox which : {IdBox::old_id, IdBox::new_id}) {
        for (const char* text : {"17", "0", "abc", "40000", ""}) {
            SCOPED_TRACE(std::string(name(which)) + " \"" + text + "\"");
            box(which)->setText(QString::fromUtf8(text));
            messages.messages.clear();
            box(which)->setText(QString::fromUtf8(text));
            EXPECT_TRUE(messages.messages.empty());
        }
    }
}

TEST(EntryChecks, FirstFailureOnly)
{
    const std::string port = qrv::msg_open_port, old_id = qrv::msg_old_id, new_id = qrv::msg_new_id;
    const struct {
        std::int32_t lamp;
        std::string old_text, new_text;
        bool pass;
        std::string message; // empty: none
    } rows[] = {
        {0, "17", "1", false, port},
        {0, "abc", "0", false, port},
        {255, "abc", "0", false, old_id},
        {1234, "abc", "0", false, old_id},
        {-1, "", "", false, old_id},
        {255, "17", "0", false, new_id},
        {255, "17", "248", false, new_id},
        {255, "0", "1", false, old_id},
        {255, "-1", "1", false, old_id},
        {255, "1", "247", true, ""},
        {255, "247", "1", true, ""},
        {1234, "17", "1", true, ""},
        {255, "247.0", "247.0", true, ""},
        {255, " 17 ", "+1", true, ""},
        // The check takes the value as it stands, not rounded.
        {255, "0.4", "1", true, ""},
        {255, "247.4", "1", false, old_id},
        {255, "17", "0.4", true, ""},
        {255, "17", "247.4", false, new_id},
        {255, "0.6", "0.6", true, ""},
        {255, "246.6", "246.6", true, ""},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(testing::Message() << "lamp " << row.lamp << " old \"" << row.old_text
                                        << "\" new \"" << row.new_text << "\"");
        FakeWindow window;
        window.lamp = row.lamp;
        window.old_id = row.old_text;
        window.new_id = row.new_text;
        MessageRecorder messages;
        EXPECT_EQ(qrv::entry_checks_pass(window, messages), row.pass);
        EXPECT_EQ(messages.messages, row.message.empty() ? Strings{} : Strings{row.message});
    }
}

} // namespace
