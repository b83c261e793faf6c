// The window as it stands after start-up.
#include "fakes.h"
#include "form1.h"
#include "pty.h"
#include "qt_app.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QTextBlock>
#include <QTextEdit>
#include <QTextLayout>
#include <filesystem>
#include <gtest/gtest.h>

using namespace qrv::test;

namespace {

struct Started {
    Started() : form(dir.path(), {&messages}) {}
    TempDir dir;
    MessageRecorder messages;
    Form1 form;
};

QStringList entries(const QComboBox* list)
{
    QStringList texts;
    for (int i = 0; i < list->count(); ++i)
        texts << list->itemText(i);
    return texts;
}

} // namespace

TEST(Form1, ControlsStandWhereTheyWereDesigned)
{
    Started s;
    EXPECT_EQ(s.form.windowTitle(), "QRV ID设置软件");
    EXPECT_EQ(s.form.size(), QSize(581, 411));
    EXPECT_EQ(s.form.minimumSize(), s.form.maximumSize());

    struct Row {
        const char* name;
        QRect pixels;
        QString text;
        double points; // 0: the window's own font
        bool bold;
    } rows[] = {
        {"Shape_uart", {16, 56, 17, 17}, {}, 0, false},
        {"Command_uart", {56, 48, 105, 33}, "打开串口", 12, false},
        {"Label3", {16, 104, 97, 17}, "串口号", 12, true},
        {"Combo_uart", {16, 128, 121, 20}, {}, 0, false},
        {"Label1", {16, 160, 97, 17}, "波特率", 12, true},
        {"Combo_baud", {16, 184, 121, 20}, {}, 0, false},
        {"Label5", {16, 224, 97, 17}, "数据位：8", 12, true},
        {"Label6", {16, 256, 97, 17}, "停止位：1", 12, true},
        {"Label7", {16, 288, 97, 17}, "校验位：无", 12, true},
        {"Label4", {224, 56, 97, 17}, "原设备ID", 12, true},
        {"Text_old", {344, 48, 89, 33}, {}, 0, false},
        {"Label2", {224, 104, 97, 17}, "新设备ID", 12, true},
        {"Text_new", {344, 96, 89, 33}, {}, 0, false},
        {"Command2", {224, 152, 209, 33}, "更改ID", 15.75, true},
        {"Text_log", {216, 208, 225, 153}, {}, 0, false},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        const auto* w = s.form.findChild<QWidget*>(row.name);
        ASSERT_NE(w, nullptr);
        EXPECT_EQ(w->geometry(), row.pixels);
        EXPECT_TRUE(w->isEnabled());
        if (const auto* label = qobject_cast<const QLabel*>(w)) {
            EXPECT_EQ(label->text(), row.text);
        }
        if (const auto* button = qobject_cast<const QPushButton*>(w)) {
            EXPECT_EQ(button->text(), row.text);
            EXPECT_FALSE(button->isDefault());
            EXPECT_FALSE(button->autoDefault());
        }
        if (row.points > 0) {
            EXPECT_EQ(w->font().families().value(0), "宋体");
            EXPECT_DOUBLE_EQ(w->font().pointSizeF(), row.points);
            EXPECT_EQ(w->font().bold(), row.bold);
        }
    }
}

TEST(Form1, StartUpPutsTheWindowInItsClosedState)
{
    Started s;
    QStringList ports;
    for (int i = 1; i <= 24; ++i)
        ports << QString::number(i);
    EXPECT_EQ(entries(s.form.Combo_uart), ports);
    EXPECT_EQ(entries(s.form.Combo_baud),
              QStringList({"9600", "19200", "38400", "57600", "115200", "230400"}));
    EXPECT_FALSE(s.form.Combo_uart->isEditable());
    EXPECT_FALSE(s.form.Combo_baud->isEditable());
    EXPECT_EQ(s.form.Combo_uart->currentText(), "9");
    EXPECT_EQ(s.form.Combo_baud->currentText(), "115200");
    EXPECT_EQ(s.form.lamp_color(), 0);
    EXPECT_EQ(s.form.Command_uart->text(), "打开串口");
    EXPECT_EQ(s.form.Text_old->text(), "17");
    EXPECT_EQ(s.form.Text_new->text(), "1");
    EXPECT_EQ(s.form.log_text(), "");
    EXPECT_TRUE(s.messages.messages.empty());
    EXPECT_TRUE(std::filesystem::is_empty(s.dir.path())); // start-up writes nothing
}

TEST(Form1, ScreenReadersFindEveryControl)
{
    Started s;
    struct Row {
        QWidget* control;
        const char* name;
    } rows[] = {
        {s.form.Combo_uart, "串口号"}, {s.form.Combo_baud, "波特率"},
        {s.form.Text_old, "原设备ID"}, {s.form.Text_new, "新设备ID"},
        {s.form.Text_log, "操作日志"}, {s.form.Shape_uart, "串口状态"},
    };
    for (const auto& row : rows)
        EXPECT_EQ(row.control->accessibleName(), row.name);
    EXPECT_EQ(s.form.Shape_uart->accessibleDescription(), "关闭");
    s.form.set_lamp_color(255);
    EXPECT_EQ(s.form.Shape_uart->accessibleDescription(), "打开");
    s.form.set_lamp_color(1234); // any colour but black is open
    EXPECT_EQ(s.form.Shape_uart->accessibleDescription(), "打开");
}

TEST(Form1, TabWalksTheControlsInOrderAndSkipsLockedLists)
{
    Started s;
    s.form.show();
    QApplication::setActiveWindow(&s.form);
    ASSERT_TRUE(QTest::qWaitForWindowActive(&s.form));
    EXPECT_EQ(QApplication::focusWidget(), s.form.Combo_uart);

    auto walk = [&](int steps) {
        std::vector<QWidget*> seen;
        for (int i = 0; i < steps; ++i) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            seen.push_back(QApplication::focusWidget());
        }
        return seen;
    };
    auto& f = s.form;
    EXPECT_EQ(walk(7), (std::vector<QWidget*>{f.Combo_baud, f.Command_uart, f.Text_old, f.Text_new,
                                              f.Command2, f.Text_log, f.Combo_uart}));
    f.set_lists_enabled(false);
    f.Command_uart->setFocus();
    EXPECT_EQ(walk(5), (std::vector<QWidget*>{f.Text_old, f.Text_new, f.Command2, f.Text_log,
                                              f.Command_uart}));
}

TEST(Form1, LogBoxShowsLinesAndHandsOutCrLf)
{
    Started s;
    EXPECT_EQ(s.form.Text_log->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOff);
    EXPECT_EQ(s.form.Text_log->horizontalScrollBarPolicy(), Qt::ScrollBarAlwaysOff);
    EXPECT_EQ(s.form.Text_log->lineWrapMode(), QTextEdit::WidgetWidth);
    EXPECT_FALSE(s.form.Text_log->isReadOnly());

    const std::string text = "****\r\n开始设置\r\n\r\nend";
    s.form.set_log_text(text);
    EXPECT_EQ(s.form.Text_log->toPlainText(), QString::fromUtf8("****\n开始设置\n\nend"));
    EXPECT_EQ(s.form.log_text(), text);
    // What the user types stays until the tool replaces it.
    s.form.Text_log->moveCursor(QTextCursor::End);
    s.form.Text_log->insertPlainText("\nnote");
    EXPECT_EQ(s.form.log_text(), text + "\r\nnote");
}

// ---- Keyboard, busy pointer and log box font ----

namespace {

// The window on a fake line whose wait takes no time.
struct OnFakes {
    TempDir dir;
    MessageRecorder messages;
    FakeClock clock;
    FakeSerial serial;
    Form1 form{dir.path(), {&messages, &clock, &serial}};
};

} // namespace

TEST(Form1Keys, EnterAndSpaceClickTheFocusedButtonOnly)
{
    OnFakes f;
    Form1& w = f.form;
    w.show();
    QApplication::setActiveWindow(&w);
    ASSERT_TRUE(QTest::qWaitForWindowActive(&w));
    QSignalSpy port(w.Command_uart, &QPushButton::clicked);
    QSignalSpy change(w.Command2, &QPushButton::clicked);
    for (QWidget* focus :
         std::initializer_list<QWidget*>{w.Command_uart, w.Command2, w.Text_old, w.Text_new}) {
        for (const Qt::Key key : {Qt::Key_Return, Qt::Key_Enter, Qt::Key_Space}) {
            if (key == Qt::Key_Space && !qobject_cast<QPushButton*>(focus))
                continue; // a text box takes it as text
            SCOPED_TRACE(focus->objectName().toStdString() + " key " + std::to_string(key));
            port.clear();
            change.clear();
            focus->setFocus();
            ASSERT_EQ(QApplication::focusWidget(), focus);
            QTest::keyClick(focus, key, key == Qt::Key_Enter ? Qt::KeypadModifier : Qt::NoModifier);
            EXPECT_EQ(port.count(), focus == w.Command_uart ? 1 : 0);
            EXPECT_EQ(change.count(), focus == w.Command2 ? 1 : 0);
        }
    }
}

TEST(Form1Keys, BusyPointerShowsDuringTheWaitOnly)
{
    const std::pair<const char*, Bytes> replies[] = {
        {"success", echo_from_1}, {"mismatch", request_17_to_1}, {"no reply", {}}};
    for (const auto& [verdict, reply] : replies) {
        SCOPED_TRACE(verdict);
        OnFakes f;
        f.serial.device = [&](const Bytes&) { return reply; };
        f.form.Command_uart->click();
        // Over the window, its buttons and the text boxes with their I-beam.
        const QWidget* pointed[] = {&f.form, f.form.Command2, f.form.Text_old,
                                    f.form.Text_log->viewport()};
        f.clock.during_wait = [&] {
            for (const QWidget* w : pointed)
                EXPECT_EQ(w->cursor().shape(), Qt::WaitCursor);
        };
        f.form.Command2->click();
        ASSERT_EQ(f.clock.waits, std::vector<int>{1000});
        EXPECT_EQ(f.form.Command2->cursor().shape(), Qt::ArrowCursor);
        EXPECT_EQ(f.form.Text_old->cursor().shape(), Qt::IBeamCursor);
        EXPECT_EQ(f.form.Text_log->viewport()->cursor().shape(), Qt::IBeamCursor);
    }
}

TEST(Form1Keys, StarLineFitsOneLineOfTheLogBox)
{
    OnFakes f;
    f.form.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&f.form));
    // 宋体 where it is installed, else the CJK monospace with its widths.
    const QString family = QFontInfo(f.form.Text_log->font()).family();
    EXPECT_TRUE(QStringList({"SimSun", "宋体", "Noto Sans Mono CJK SC"}).contains(family));
    f.form.set_log_text("************************************\r\n");
    EXPECT_EQ(f.form.Text_log->document()->firstBlock().layout()->lineCount(), 1);
}
