// The window on fakes of the line and the wait: what the technician reads
// and reaches, start-up, the ID boxes, the port button, the log box and
// every message.
#include "fakes.h"
#include "files.h"
#include "form1.h"
#include "golden.h"
#include "id_rules.h"
#include "keystrokes.h"
#include "message_box.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QSessionManager>
#include <QSignalSpy>
#include <QTest>
#include <QTextBlock>
#include <QTextEdit>
#include <QTextLayout>
#include <QTimer>
#include <filesystem>
#include <gtest/gtest.h>

using namespace qrv::test;
namespace fs = std::filesystem;

namespace {

struct Started {
    explicit Started(std::string folder = "") : m_folder(std::move(folder)) {}
    // Shown, with the keyboard's focus in it.
    void activate()
    {
        form.show();
        QApplication::setActiveWindow(&form);
        ASSERT_TRUE(QTest::qWaitForWindowActive(&form));
    }
    TempDir dir;
    std::string m_folder;
    MessageRecorder messages;
    FakeClock clock;
    FakeSerial serial;
    Form1 form{m_folder.empty() ? dir.path() : m_folder, {&messages, &clock, &serial}};
};

QString entries(const QComboBox* list)
{
    QStringList texts;
    for (int i = 0; i < list->count(); ++i)
        texts << list->itemText(i);
    return texts.join(' ');
}

} // namespace

TEST(QtForm, TextsAndNamesTheTechnicianMeets)
{
    Started s;
    const struct {
        const char* name;
        QString text, accessible;
    } rows[] = {
        // clang-format off
        {"Command_uart", "打开串口", {}}, {"Label3", "串口号", {}}, {"Label1", "波特率", {}},
        {"Label5", "数据位：8", {}}, {"Label6", "停止位：1", {}}, {"Label7", "校验位：无", {}},
        {"Label4", "原设备ID", {}}, {"Label2", "新设备ID", {}}, {"Command2", "更改ID", {}},
        {"Combo_uart", {}, "串口号"}, {"Combo_baud", {}, "波特率"}, {"Text_old", {}, "原设备ID"},
        {"Text_new", {}, "新设备ID"}, {"Text_log", {}, "操作日志"}, {"Shape_uart", {}, "串口状态：关闭"},
        // clang-format on
    };
    for (const auto& row : rows) {
        const auto* w = s.form.findChild<QWidget*>(row.name);
        ASSERT_NE(w, nullptr) << row.name;
        const auto* label = qobject_cast<const QLabel*>(w);
        const auto* button = qobject_cast<const QPushButton*>(w);
        EXPECT_EQ(label ? label->text() : button ? button->text() : QString(), row.text);
        EXPECT_EQ(row.accessible.isEmpty() ? QString() : w->accessibleName(), row.accessible);
    }
    EXPECT_EQ(s.form.windowTitle(), "QRV ID设置软件");
    for (const QPushButton* b : {s.form.port_button(), s.form.change_button()})
        EXPECT_FALSE(b->isDefault() || b->autoDefault());
    EXPECT_EQ(entries(s.form.port_list()), "1 2 3 4 5 6 7 8 9 10 11 12 13 14 15 16 17 18 19 20 21 "
                                           "22 23 24");
    EXPECT_EQ(entries(s.form.baud_list()), "9600 19200 38400 57600 115200 230400");
    EXPECT_FALSE(s.form.port_list()->isEditable() || s.form.baud_list()->isEditable());
    EXPECT_EQ(s.form.old_id_box()->text() + "," + s.form.new_id_box()->text(), "17,1");
    EXPECT_EQ(s.form.log_text(), "");
    s.form.set_port_open(true);
    EXPECT_EQ(s.form.lamp()->accessibleName(), "串口状态：打开");
}

TEST(QtForm, TabWalksTheControlsInOrder)
{
    Started s;
    auto& f = s.form;
    s.activate();
    EXPECT_EQ(QApplication::focusWidget(), f.port_list());
    auto walk = [&](int steps) {
        std::vector<QWidget*> seen;
        for (int i = 0; i < steps; ++i) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            seen.push_back(QApplication::focusWidget());
        }
        return seen;
    };
    EXPECT_EQ(walk(7),
              (std::vector<QWidget*>{f.baud_list(), f.port_button(), f.old_id_box(), f.new_id_box(),
                                     f.change_button(), f.log_box(), f.port_list()}));
}

TEST(QtForm, IdBoxesTidyNumbersAndComplain)
{
    const struct {
        std::string typed, after;
        std::size_t messages;
    } rows[] = {
        // clang-format off
        {"17", "17", 0}, {"0", "0", 1}, {"-3", "-3", 1}, {"", "", 1}, {"-", "-", 1}, {"+", "+", 1},
        {".", ".", 1}, {"017", "17", 0}, {" 5 ", "5", 0}, {"+5", "5", 0}, {"5.", "5", 0},
        {"1.5", "2", 0}, {"2.5", "2", 0}, {"247.5", "248", 2}, {"0.5", "0", 2}, {"248", "248", 1},
        {"32767", "32767", 1}, {"40000", "40000", 1}, {"abc", "abc", 1},
        // clang-format on
    };
    Started s;
    for (QLineEdit* box : {s.form.old_id_box(), s.form.new_id_box()}) {
        const std::string message = box == s.form.old_id_box() ? said::old_id : said::new_id;
        for (const auto& row : rows) {
            box->setText("100");
            s.messages.messages.clear();
            box->setText(QString::fromStdString(row.typed));
            EXPECT_EQ(box->text().toStdString(), row.after) << row.typed;
            EXPECT_EQ(s.messages.messages, Strings(row.messages, message)) << row.typed;
        }
        for (const Keystrokes& row : id_box_keystrokes) {
            box->clear();
            s.messages.messages.clear();
            QTest::keyClicks(box, row.keys);
            EXPECT_EQ(box->text().toStdString(), row.shown) << row.keys;
            EXPECT_EQ(s.messages.messages, Strings(row.messages, message)) << row.keys;
        }
    }
}

// What the screen shows at each click of the port button: a lamp never
// repainted keeps its old colour there.
TEST(QtForm, PortButtonLightsTheLamp)
{
    Started s;
    auto& f = s.form;
    s.activate();
    for (const bool open : {true, false}) {
        f.port_button()->click();
        QApplication::processEvents();
        const QColor lamp =
            f.screen()->grabWindow(f.winId()).toImage().pixelColor(f.lamp()->geometry().center());
        EXPECT_EQ(lamp, open ? QColor(Qt::red) : QColor(Qt::black));
        EXPECT_EQ(f.port_button()->text(), open ? "关闭串口" : "打开串口");
        EXPECT_EQ(f.port_list()->isEnabled() || f.baud_list()->isEnabled(), !open);
    }
}

TEST(QtForm, LogBoxKeepsCrLfTypedTextAndTheVerdictInView)
{
    Started s;
    auto* box = s.form.log_box();
    const std::string text = "****\r\n开始设置\r\n\r\nend";
    s.form.set_log_text(text);
    EXPECT_EQ(box->toPlainText(), "****\n开始设置\n\nend");
    box->moveCursor(QTextCursor::End);
    box->insertPlainText("\nnote");
    EXPECT_EQ(s.form.log_text(), text + "\r\nnote");

    s.form.show();
    s.form.set_log_text(std::string(40, '\n') + "verdict");
    QApplication::processEvents();
    QTextCursor end(box->document());
    end.movePosition(QTextCursor::End);
    EXPECT_TRUE(box->viewport()->rect().contains(box->cursorRect(end)));
}

// The running program's box: the tool's title, the text, one OK button.
TEST(QtForm, MessageBoxHasTheTitleAndOneButton)
{
    QString seen;
    QTimer::singleShot(0, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        ASSERT_NE(box, nullptr);
        seen =
            box->windowTitle() + "|" + box->text() + "|" + QString::number(box->buttons().size());
        box->accept();
    });
    qrv::MessageBox(nullptr).show_message("设置无响应，请重新设置");
    EXPECT_EQ(seen.toStdString(), "QRV ID设置软件|设置无响应，请重新设置|1");
}

TEST(QtForm, EnterAndSpaceClickTheFocusedButtonOnly)
{
    Started s;
    Form1& w = s.form;
    s.activate();
    QSignalSpy port(w.port_button(), &QPushButton::clicked);
    QSignalSpy change(w.change_button(), &QPushButton::clicked);
    for (QWidget* focus : std::initializer_list<QWidget*>{w.port_button(), w.change_button(),
                                                          w.old_id_box(), w.new_id_box()}) {
        for (const Qt::Key key : {Qt::Key_Return, Qt::Key_Enter, Qt::Key_Space}) {
            if (key == Qt::Key_Space && !qobject_cast<QPushButton*>(focus))
                continue; // a text box takes it as text
            SCOPED_TRACE(focus->objectName().toStdString() + " key " + std::to_string(key));
            port.clear();
            change.clear();
            focus->setFocus();
            ASSERT_EQ(QApplication::focusWidget(), focus);
            QTest::keyClick(focus, key, key == Qt::Key_Enter ? Qt::KeypadModifier : Qt::NoModifier);
            EXPECT_EQ(port.count(), focus == w.port_button() ? 1 : 0);
            EXPECT_EQ(change.count(), focus == w.change_button() ? 1 : 0);
        }
    }
}

TEST(QtForm, BusyPointerShowsDuringTheWaitOnly)
{
    const std::pair<const char*, Bytes> replies[] = {
        {"success", echo_from_1}, {"mismatch", request_17_to_1}, {"no reply", {}}};
    for (const auto& [verdict, reply] : replies) {
        SCOPED_TRACE(verdict);
        Started f;
        f.serial.device = [&](const Bytes&) { return reply; };
        f.form.port_button()->click();
        // Over the window, its buttons and the text boxes with their I-beam.
        const QWidget* pointed[] = {&f.form, f.form.change_button(), f.form.old_id_box(),
                                    f.form.log_box()->viewport()};
        f.clock.during_wait = [&] {
            for (const QWidget* w : pointed)
                EXPECT_EQ(w->cursor().shape(), Qt::WaitCursor);
        };
        f.form.change_button()->click();
        ASSERT_EQ(f.clock.waits, std::vector<int>{1000});
        EXPECT_EQ(f.form.change_button()->cursor().shape(), Qt::ArrowCursor);
        EXPECT_EQ(f.form.old_id_box()->cursor().shape(), Qt::IBeamCursor);
        EXPECT_EQ(f.form.log_box()->viewport()->cursor().shape(), Qt::IBeamCursor);
    }
}

// During the wait a box is tidied as typed, and its message waits for the
// verdict. A log-off that begins files the attempt at once but silences
// nothing, for the user may cancel it; a session that ends silences.
TEST(QtForm, TypingAndALogOffDuringTheWait)
{
    Started f;
    f.form.port_button()->click();
    auto* session = qApp->findChild<QSessionManager*>();
    ASSERT_NE(session, nullptr);
    std::string filed;
    f.clock.during_wait = [&] {
        f.form.new_id_box()->selectAll();
        QTest::keyClicks(f.form.new_id_box(), "2150");
        f.form.old_id_box()->selectAll();
        QTest::keyClicks(f.form.old_id_box(), "005");
        emit qApp->commitDataRequest(*session);
        filed = read_file(f.dir.file("2026-12-06.txt"));
        EXPECT_TRUE(f.messages.messages.empty());
    };
    f.form.change_button()->click();
    EXPECT_EQ(filed, record(no_reply_entry));
    EXPECT_EQ(f.form.old_id_box()->text() + "," + f.form.new_id_box()->text(), "5,2150");
    EXPECT_EQ(f.messages.messages, (Strings{said::no_reply, said::new_id}));

    f.form.new_id_box()->setText("1");
    f.clock.during_wait = nullptr;
    f.form.change_button()->click();
    EXPECT_EQ(f.messages.messages.back(), said::no_reply);
    // The main loop ends as the session does.
    QTimer::singleShot(0, [] { QCoreApplication::exit(0); });
    QCoreApplication::exec();
    f.messages.messages.clear();
    f.form.change_button()->click();
    EXPECT_TRUE(f.messages.messages.empty());
}

TEST(QtForm, StarLineFitsOneLineOfTheLogBox)
{
    Started f;
    f.activate();
    // 宋体 where it is installed, else the CJK monospace with its widths.
    const QString family = QFontInfo(f.form.log_box()->font()).family();
    EXPECT_TRUE(QStringList({"SimSun", "宋体", "Noto Sans Mono CJK SC"}).contains(family));
    f.form.set_log_text("************************************\r\n");
    EXPECT_EQ(f.form.log_box()->document()->firstBlock().layout()->lineCount(), 1);
}
