#include "form1.h"

#include "busy_clock.h"
#include "form_design.h"
#include "message_box.h"
#include "qt_clock.h"
#include "serial_lib.h"
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

namespace {

namespace design = qrv::design;

// Pixels at 96 dpi; Qt scales them on other screens.
constexpr int twips_per_pixel = design::twips_per_inch / 96;

QRect twips(design::Twips t)
{
    return {t.left / twips_per_pixel, t.top / twips_per_pixel, t.width / twips_per_pixel,
            t.height / twips_per_pixel};
}

QFont song_font(design::Font designed)
{
    QFont font;
    font.setFamilies({QString::fromUtf8(design::font_family), QStringLiteral("SimSun"),
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
    font.setFamilies({QString::fromUtf8(design::font_family), QStringLiteral("SimSun"),
                      QStringLiteral("Noto Sans Mono CJK SC")});
    return font;
}

QString qs(const std::string& text)
{
    return QString::fromStdString(text);
}

} // namespace

Form1::Form1(std::string tool_folder, Form1Services services)
    : QWidget(nullptr), m_tool_folder(std::move(tool_folder)),
      m_messages(given_or_own(services.messages, m_own_messages,
                              [this] { return std::make_unique<MessageBox>(this); })),
      m_clock(
          given_or_own(services.clock, m_own_clock, [] { return std::make_unique<QtClock>(); })),
      m_serial(given_or_own(services.serial, m_own_serial,
                            [this] { return std::make_unique<qrv::SerialLib>(m_tool_folder); })),
      m_busy_clock(std::make_unique<BusyClock>(m_clock, *this)),
      m_controller(std::make_unique<FormController>(*this, m_serial, *m_busy_clock, m_messages,
                                                    m_tool_folder, [this] { close(); }))
{
    create_controls();
    m_controller->on_load();
    Combo_uart->setFocus();
    // Log-off or shutdown: the session manager asks first, and a quitting
    // program gets no further event.
    connect(qApp, &QGuiApplication::commitDataRequest, this, [this] { end_session(); });
    connect(qApp, &QCoreApplication::aboutToQuit, this, [this] { end_session(); });
}

Form1::~Form1() = default;

void Form1::create_controls()
{
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(QString::fromUtf8(qrv::app_title));
    setFixedSize(design::client_width / twips_per_pixel, design::client_height / twips_per_pixel);

    auto label = [this](const char* name, const char* text, QRect where) {
        auto* l = new QLabel(QString::fromUtf8(text), this);
        l->setObjectName(QLatin1String(name));
        l->setFont(song_font(design::label_font));
        l->setGeometry(where);
        return l;
    };
    auto button = [this](const char* name, const char* text, QRect where, QFont font) {
        auto* b = new QPushButton(QString::fromUtf8(text), this);
        b->setObjectName(QLatin1String(name));
        b->setAutoDefault(false);
        b->setDefault(false);
        b->setFont(font);
        b->setGeometry(where);
        b->installEventFilter(this);
        return b;
    };
    auto combo = [this](const char* name, const char* accessible, QRect where) {
        auto* c = new QComboBox(this);
        c->setObjectName(QLatin1String(name));
        c->setEditable(false);
        c->setAccessibleName(QString::fromUtf8(accessible));
        c->setGeometry(where);
        return c;
    };
    auto line_edit = [this](const char* name, const char* accessible, QRect where) {
        auto* e = new QLineEdit(QStringLiteral("Text1"), this);
        e->setObjectName(QLatin1String(name));
        e->setAccessibleName(QString::fromUtf8(accessible));
        e->setGeometry(where);
        return e;
    };

    Shape_uart = new Lamp(this);
    Shape_uart->setObjectName(QStringLiteral("Shape_uart"));
    Shape_uart->setGeometry(twips(design::Shape_uart));
    Command_uart = button("Command_uart", qrv::caption_open_port, twips(design::Command_uart),
                          song_font(design::port_button_font));
    Label3 = label("Label3", qrv::label_port, twips(design::Label3));
    Combo_uart = combo("Combo_uart", qrv::label_port, twips(design::Combo_uart));
    Label1 = label("Label1", qrv::label_baud, twips(design::Label1));
    Combo_baud = combo("Combo_baud", qrv::label_baud, twips(design::Combo_baud));
    Label5 = label("Label5", qrv::label_data_bits, twips(design::Label5));
    Label6 = label("Label6", qrv::label_stop_bits, twips(design::Label6));
    Label7 = label("Label7", qrv::label_parity, twips(design::Label7));
    Label4 = label("Label4", qrv::label_old_id, twips(design::Label4));
    Text_old = line_edit("Text_old", qrv::label_old_id, twips(design::Text_old));
    Label2 = label("Label2", qrv::label_new_id, twips(design::Label2));
    Text_new = line_edit("Text_new", qrv::label_new_id, twips(design::Text_new));
    Command2 = button("Command2", qrv::caption_change, twips(design::Command2),
                      song_font(design::change_button_font));

    Text_log = new QTextEdit(this);
    Text_log->setAcceptRichText(false);
    Text_log->setPlainText(QStringLiteral("Text3"));
    Text_log->setObjectName(QStringLiteral("Text_log"));
    Text_log->setFont(log_font(font()));
    // A narrow margin, as a Windows edit box has: with Qt's 4 pixels the
    // last star of the star line wraps.
    Text_log->document()->setDocumentMargin(2);
    Text_log->setAccessibleName(QString::fromUtf8(qrv::name_log_box));
    Text_log->setGeometry(twips(design::Text_log));
    Text_log->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    Text_log->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    Text_log->setLineWrapMode(QTextEdit::WidgetWidth);
    Text_log->setTabChangesFocus(true);

    for (int port = 1; port <= qrv::port_count; ++port)
        Combo_uart->addItem(QString::number(port));
    for (const std::int32_t baud : qrv::line_speeds)
        Combo_baud->addItem(QString::number(baud));
    Combo_uart->setCurrentIndex(-1);
    Combo_baud->setCurrentIndex(-1);

    setTabOrder(Combo_uart, Combo_baud);
    setTabOrder(Combo_baud, Command_uart);
    setTabOrder(Command_uart, Text_old);
    setTabOrder(Text_old, Text_new);
    setTabOrder(Text_new, Command2);
    setTabOrder(Command2, Text_log);

    FormController& form = *m_controller;
    connect(Command_uart, &QPushButton::clicked, this, [&form] { form.on_port_clicked(); });
    connect(Command2, &QPushButton::clicked, this, [&form] { form.on_change_clicked(); });
    connect(Text_old, &QLineEdit::textChanged, this, [&form] { form.on_old_id_changed(); });
    connect(Text_new, &QLineEdit::textChanged, this, [&form] { form.on_new_id_changed(); });
}

bool Form1::eventFilter(QObject* watched, QEvent* event)
{
    // Technicians tab to a button and press Enter, as they do on Windows; Qt
    // clicks only on Space unless the button is a default one, which neither
    // is: Enter in a text box must go on doing nothing.
    if (event->type() == QEvent::KeyPress && (watched == Command_uart || watched == Command2)) {
        const auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) {
            // A held key clicks once, not once per repeat after each attempt.
            if (!key->isAutoRepeat())
                static_cast<QPushButton*>(watched)->click();
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

std::int32_t Form1::lamp_color() const
{
    return Shape_uart->fill_color();
}
void Form1::set_lamp_color(std::int32_t color)
{
    Shape_uart->set_fill_color(color);
}
int Form1::port_index() const
{
    return Combo_uart->currentIndex();
}
void Form1::set_port_index(int index)
{
    Combo_uart->setCurrentIndex(index);
}
int Form1::baud_index() const
{
    return Combo_baud->currentIndex();
}
void Form1::set_baud_index(int index)
{
    Combo_baud->setCurrentIndex(index);
}
std::string Form1::baud_entry(int index) const
{
    return Combo_baud->itemText(index).toStdString();
}

void Form1::set_lists_enabled(bool enabled)
{
    Combo_uart->setEnabled(enabled);
    Combo_baud->setEnabled(enabled);
}

void Form1::set_port_caption(const std::string& caption)
{
    Command_uart->setText(qs(caption));
}

void Form1::set_port_button_enabled(bool enabled)
{
    Command_uart->setEnabled(enabled);
}
std::string Form1::old_id_text() const
{
    return Text_old->text().toStdString();
}
void Form1::set_old_id_text(const std::string& text)
{
    Text_old->setText(qs(text));
}
std::string Form1::new_id_text() const
{
    return Text_new->text().toStdString();
}
void Form1::set_new_id_text(const std::string& text)
{
    Text_new->setText(qs(text));
}

std::string Form1::log_text() const
{
    // The box holds LF; the log and its file see CR LF.
    return Text_log->toPlainText().replace(QLatin1Char('\n'), QStringLiteral("\r\n")).toStdString();
}

namespace {

// The box holds LF; the log and its file have CR LF.
QString box_lines(const std::string& text)
{
    QString plain = QString::fromStdString(text);
    return plain.replace(QStringLiteral("\r\n"), QStringLiteral("\n"))
        .replace(QLatin1Char('\r'), QLatin1Char('\n'));
}

} // namespace

void Form1::set_log_text(const std::string& text)
{
    Text_log->setPlainText(box_lines(text));
    show_log_end();
}

void Form1::append_log_text(const std::string& text)
{
    QTextCursor end(Text_log->document());
    end.movePosition(QTextCursor::End);
    end.insertText(box_lines(text));
    show_log_end();
}

void Form1::show_log_end()
{
    // The newest lines, with the verdict, are the ones to see.
    Text_log->moveCursor(QTextCursor::End);
    Text_log->ensureCursorVisible();
}
