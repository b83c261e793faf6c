#include "form1.h"

#include "busy_clock.h"
#include "message_box.h"
#include "qt_clock.h"
#include "qt_serial.h"
#include "vocabulary.h"

#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTextDocument>
#include <QTextEdit>
#include <QTimer>
#include <algorithm>

namespace {

namespace form = qrv::form;
using form::Kind;
using form::Role;

// Pixels at 96 dpi; Qt scales them on other screens.
constexpr int twips_per_pixel = form::twips_per_inch / 96;

QRect pixels(form::Twips t)
{
    return {t.left / twips_per_pixel, t.top / twips_per_pixel, t.width / twips_per_pixel,
            t.height / twips_per_pixel};
}

QFont song_font(form::Font designed)
{
    QFont font;
    font.setFamilies({QString::fromUtf8(form::font_family), QStringLiteral("SimSun"),
                      QStringLiteral("Noto Serif CJK SC"), QStringLiteral("Noto Sans CJK SC")});
    font.setPointSizeF(designed.points);
    font.setBold(designed.bold);
    return font;
}

// The window's default font. 宋体's half-width characters are half its
// height wide, so the 36-star line fits the log box on one line; where 宋体
// is missing, a CJK monospace has the same widths.
QFont log_font(QFont font)
{
    font.setFamilies({QString::fromUtf8(form::font_family), QStringLiteral("SimSun"),
                      QStringLiteral("Noto Sans Mono CJK SC")});
    return font;
}

QString qs(const std::string& text)
{
    return QString::fromStdString(text);
}

// The box holds LF; the log and its file have CR LF.
QString box_lines(const std::string& text)
{
    return qs(text)
        .replace(QStringLiteral("\r\n"), QStringLiteral("\n"))
        .replace(QLatin1Char('\r'), QLatin1Char('\n'));
}

} // namespace

Form1::Form1(std::string tool_folder, Form1Services services)
    : QWidget(nullptr), m_tool_folder(std::move(tool_folder)),
      m_messages(given_or_own(services.messages, m_own_messages,
                              [this] { return std::make_unique<qrv::MessageBox>(this); })),
      m_clock(given_or_own(services.clock, m_own_clock,
                           [] { return std::make_unique<qrv::QtClock>(); })),
      m_serial(given_or_own(services.serial, m_own_serial,
                            [this] { return std::make_unique<qrv::QtSerial>(m_tool_folder); })),
      m_busy_clock(std::make_unique<qrv::BusyClock>(m_clock, *this)),
      m_controller(std::make_unique<FormController>(*this, m_serial, *m_busy_clock, m_messages,
                                                    m_tool_folder, [this] { close(); }))
{
    create_controls();
    connect_handlers();
    m_controller->on_load();
    port_list()->setFocus();
}

Form1::~Form1() = default;

void Form1::create_controls()
{
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(QString::fromUtf8(qrv::app_title));
    setFixedSize(form::client_width / twips_per_pixel, form::client_height / twips_per_pixel);
    std::vector<const form::Control*> tab_order;
    for (const form::Control& c : form::controls) {
        QWidget* w = make_control(c);
        w->setObjectName(QLatin1String(c.design_name));
        w->setGeometry(pixels(c.where));
        if (c.name)
            w->setAccessibleName(QString::fromUtf8(c.name));
        m_controls[form::index(c.role)] = w;
        if (form::takes_focus(c.kind))
            tab_order.push_back(&c);
    }
    std::ranges::sort(tab_order, {}, &form::Control::tab);
    for (std::size_t i = 1; i < tab_order.size(); ++i)
        setTabOrder(control(tab_order[i - 1]->role), control(tab_order[i]->role));

    for (int port = 1; port <= qrv::port_count; ++port)
        port_list()->addItem(QString::number(port));
    for (const std::int32_t baud : qrv::line_speeds)
        baud_list()->addItem(QString::number(baud));
    // No entry is chosen until start-up chooses one.
    port_list()->setCurrentIndex(-1);
    baud_list()->setCurrentIndex(-1);
}

QWidget* Form1::make_control(const form::Control& c)
{
    switch (c.kind) {
    case Kind::lamp:
        return new Lamp(this);
    case Kind::button: {
        auto* button = new QPushButton(QString::fromUtf8(c.caption), this);
        button->setAutoDefault(false);
        button->setDefault(false);
        button->setFont(song_font(c.font));
        button->installEventFilter(this);
        return button;
    }
    case Kind::label: {
        auto* label = new QLabel(QString::fromUtf8(c.caption), this);
        label->setFont(song_font(c.font));
        return label;
    }
    case Kind::list: {
        auto* list = new QComboBox(this);
        list->setEditable(false);
        return list;
    }
    case Kind::id_box:
        return new QLineEdit(QStringLiteral("Text1"), this);
    case Kind::log_box:
        break;
    }
    return make_log_box();
}

QTextEdit* Form1::make_log_box()
{
    auto* box = new QTextEdit(this);
    box->setAcceptRichText(false);
    box->setPlainText(QStringLiteral("Text3"));
    box->setFont(log_font(font()));
    // A narrow margin, as a Windows edit box has: with Qt's 4 pixels the
    // last star of the star line wraps.
    box->document()->setDocumentMargin(2);
    box->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    box->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    box->setLineWrapMode(QTextEdit::WidgetWidth);
    box->setTabChangesFocus(true);
    return box;
}

void Form1::connect_handlers()
{
    FormController& form = *m_controller;
    connect(port_button(), &QPushButton::clicked, this, [&form] { form.on_port_clicked(); });
    connect(change_button(), &QPushButton::clicked, this, [&form] { form.on_change_clicked(); });
    connect(old_id_box(), &QLineEdit::textChanged, this, [&form] { form.on_old_id_changed(); });
    connect(new_id_box(), &QLineEdit::textChanged, this, [&form] { form.on_new_id_changed(); });
    // Log-off or shutdown: the session manager asks first, and the user may
    // still cancel; a quitting program gets no further event.
    connect(qApp, &QGuiApplication::commitDataRequest, this, [&form] { form.session_ending(); });
    connect(qApp, &QCoreApplication::aboutToQuit, this, [this] { end_session(); });
    auto* port_check = new QTimer(this);
    connect(port_check, &QTimer::timeout, this, [&form] { form.on_port_check(); });
    port_check->start(port_check_ms);
}

bool Form1::eventFilter(QObject* watched, QEvent* event)
{
    // Technicians tab to a button and press Enter, as they do on Windows; Qt
    // clicks only on Space unless the button is a default one, which neither
    // is: Enter in a text box must go on doing nothing.
    auto* button = qobject_cast<QPushButton*>(watched);
    if (event->type() == QEvent::KeyPress && button) {
        const auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) {
            // A held key clicks once, not once per repeat after each attempt.
            if (!key->isAutoRepeat())
                button->click();
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

void Form1::closeEvent(QCloseEvent* event)
{
    if (m_controller->close_requested())
        event->accept();
    else
        event->ignore();
}

Lamp* Form1::lamp() const
{
    return static_cast<Lamp*>(control(Role::lamp));
}
QPushButton* Form1::port_button() const
{
    return static_cast<QPushButton*>(control(Role::port_button));
}
QComboBox* Form1::port_list() const
{
    return static_cast<QComboBox*>(control(Role::port_list));
}
QComboBox* Form1::baud_list() const
{
    return static_cast<QComboBox*>(control(Role::baud_list));
}
QLineEdit* Form1::old_id_box() const
{
    return static_cast<QLineEdit*>(control(Role::old_id_box));
}
QLineEdit* Form1::new_id_box() const
{
    return static_cast<QLineEdit*>(control(Role::new_id_box));
}
QPushButton* Form1::change_button() const
{
    return static_cast<QPushButton*>(control(Role::change_button));
}
QTextEdit* Form1::log_box() const
{
    return static_cast<QTextEdit*>(control(Role::log_box));
}

bool Form1::is_port_open() const
{
    return lamp()->is_lit();
}
void Form1::set_port_open(bool open)
{
    lamp()->set_lit(open);
}
int Form1::port_index() const
{
    return port_list()->currentIndex();
}
void Form1::set_port_index(int index)
{
    port_list()->setCurrentIndex(index);
}
int Form1::baud_index() const
{
    return baud_list()->currentIndex();
}
void Form1::set_baud_index(int index)
{
    baud_list()->setCurrentIndex(index);
}
std::string Form1::baud_entry(int index) const
{
    return baud_list()->itemText(index).toStdString();
}
void Form1::set_lists_enabled(bool enabled)
{
    port_list()->setEnabled(enabled);
    baud_list()->setEnabled(enabled);
}
void Form1::set_port_caption(const std::string& caption)
{
    port_button()->setText(qs(caption));
}
void Form1::set_port_button_enabled(bool enabled)
{
    port_button()->setEnabled(enabled);
}
std::string Form1::old_id_text() const
{
    return old_id_box()->text().toStdString();
}
void Form1::set_old_id_text(const std::string& text)
{
    old_id_box()->setText(qs(text));
}
std::string Form1::new_id_text() const
{
    return new_id_box()->text().toStdString();
}
void Form1::set_new_id_text(const std::string& text)
{
    new_id_box()->setText(qs(text));
}

std::string Form1::log_text() const
{
    return log_box()
        ->toPlainText()
        .replace(QLatin1Char('\n'), QStringLiteral("\r\n"))
        .toStdString();
}

void Form1::set_log_text(const std::string& text)
{
    log_box()->setPlainText(box_lines(text));
    show_log_end();
}

void Form1::append_log_text(const std::string& text)
{
    QTextCursor end(log_box()->document());
    end.movePosition(QTextCursor::End);
    end.insertText(box_lines(text));
    show_log_end();
}

void Form1::show_log_end()
{
    // The newest lines, with the verdict, are the ones to see.
    log_box()->moveCursor(QTextCursor::End);
    log_box()->ensureCursorVisible();
}
