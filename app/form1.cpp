#include "form1.h"

#include "busy_clock.h"
#include "id_rules.h"
#include "message_box.h"
#include "oplog.h"
#include "port_control.h"
#include "qt_clock.h"
#include "serial_lib.h"

#include <QComboBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTextDocument>
#include <QTextEdit>

namespace {

constexpr int default_port_index = 8; // entry "9"
constexpr int default_baud_index = 4; // entry "115200"
constexpr int port_count = 24;

// The layout is designed in twips, 15 to a pixel at 96 dpi; Qt scales the
// pixels on other screens.
QRect twips(int left, int top, int width, int height)
{
    return {left / 15, top / 15, width / 15, height / 15};
}

QFont song_font(double points, bool bold)
{
    QFont font;
    font.setFamilies({QStringLiteral("宋体"), QStringLiteral("SimSun"),
                      QStringLiteral("Noto Serif CJK SC"), QStringLiteral("Noto Sans CJK SC")});
    font.setPointSizeF(points);
    font.setBold(bold);
    return font;
}

// The window's default font. 宋体's half-width characters are half its
// height wide, so the 36-star line fits the log box on one line; where 宋体
// is missing, a CJK monospace has the same widths.
QFont log_font(QFont font)
{
    font.setFamilies({QStringLiteral("宋体"), QStringLiteral("SimSun"),
                      QStringLiteral("Noto Sans Mono CJK SC")});
    return font;
}

template <typename T, typename Make> T& given_or_own(T* given, std::unique_ptr<T>& owner, Make make)
{
    if (!given)
        owner = make();
    return given ? *given : *owner;
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
      m_busy_clock(std::make_unique<BusyClock>(m_clock, *this))
{
    m_change = std::make_unique<qrv::ChangeCommand>(*this, m_serial, *m_busy_clock, m_messages,
                                                    m_vars, m_tool_folder);
    create_controls();
    Form_Load();
    Combo_uart->setFocus();
}

Form1::~Form1() = default;

void Form1::create_controls()
{
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(QString::fromUtf8(app_title));
    setFixedSize(8715 / 15, 6165 / 15);

    auto label = [this](const char* name, const char* text, QRect where) {
        auto* l = new QLabel(QString::fromUtf8(text), this);
        l->setObjectName(QLatin1String(name));
        l->setFont(song_font(12, true));
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
    Shape_uart->setGeometry(twips(240, 840, 255, 255));
    Command_uart =
        button("Command_uart", "打开串口", twips(840, 720, 1575, 495), song_font(12, false));
    Label3 = label("Label3", "串口号", twips(240, 1560, 1455, 255));
    Combo_uart = combo("Combo_uart", "串口号", twips(240, 1920, 1815, 300));
    Label1 = label("Label1", "波特率", twips(240, 2400, 1455, 255));
    Combo_baud = combo("Combo_baud", "波特率", twips(240, 2760, 1815, 300));
    Label5 = label("Label5", "数据位：8", twips(240, 3360, 1455, 255));
    Label6 = label("Label6", "停止位：1", twips(240, 3840, 1455, 255));
    Label7 = label("Label7", "校验位：无", twips(240, 4320, 1455, 255));
    Label4 = label("Label4", "原设备ID", twips(3360, 840, 1455, 255));
    Text_old = line_edit("Text_old", "原设备ID", twips(5160, 720, 1335, 495));
    Label2 = label("Label2", "新设备ID", twips(3360, 1560, 1455, 255));
    Text_new = line_edit("Text_new", "新设备ID", twips(5160, 1440, 1335, 495));
    Command2 = button("Command2", "更改ID", twips(3360, 2280, 3135, 495), song_font(15.75, true));

    Text_log = new QTextEdit(this);
    Text_log->setAcceptRichText(false);
    Text_log->setPlainText(QStringLiteral("Text3"));
    Text_log->setObjectName(QStringLiteral("Text_log"));
    Text_log->setFont(log_font(font()));
    // A narrow margin, as a Windows edit box has: with Qt's 4 pixels the
    // last star of the star line wraps.
    Text_log->document()->setDocumentMargin(2);
    Text_log->setAccessibleName(QStringLiteral("操作日志"));
    Text_log->setGeometry(twips(3240, 3120, 3375, 2295));
    Text_log->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    Text_log->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    Text_log->setLineWrapMode(QTextEdit::WidgetWidth);
    Text_log->setTabChangesFocus(true);

    for (int port = 1; port <= port_count; ++port)
        Combo_uart->addItem(QString::number(port));
    for (const char* baud : {"9600", "19200", "38400", "57600", "115200", "230400"})
        Combo_baud->addItem(QLatin1String(baud));
    Combo_uart->setCurrentIndex(-1);
    Combo_baud->setCurrentIndex(-1);

    setTabOrder(Combo_uart, Combo_baud);
    setTabOrder(Combo_baud, Command_uart);
    setTabOrder(Command_uart, Text_old);
    setTabOrder(Text_old, Text_new);
    setTabOrder(Text_new, Command2);
    setTabOrder(Command2, Text_log);

    connect(Command_uart, &QPushButton::clicked, this, [this] { Command_uart_Click(); });
    connect(Command2, &QPushButton::clicked, this, [this] { Command2_Click(); });
    connect(Text_old, &QLineEdit::textChanged, this, [this] { Text_old_Change(); });
    connect(Text_new, &QLineEdit::textChanged, this, [this] { Text_new_Change(); });
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

std::string Form1::settings_path() const
{
    return qrv::tool_file(m_tool_folder, qrv::settings_file_name);
}

void Form1::Form_Load()
{
    set_lamp_color(qrv::lamp_closed);
    set_port_caption(qrv::caption_open_port);
    set_old_id_text("17");
    set_new_id_text("1");
    set_log_text("");

    std::optional<int> port, baud;
    if (qrv::settings_file_present(settings_path())) {
        // A file that cannot be used selects the defaults, as a missing one.
        if (const auto stored = qrv::load_port_settings(settings_path())) {
            port = qrv::stored_index(stored->saved_port_index, Combo_uart->count());
            baud = qrv::stored_index(stored->saved_baud_index, Combo_baud->count());
            if (port && baud)
                m_saved = *stored;
        }
    }
    if (port && baud) {
        set_port_index(*port);
        set_baud_index(*baud);
        return;
    }
    set_port_index(default_port_index);
    set_baud_index(default_baud_index);
    m_saved = {std::to_string(port_index()), std::to_string(baud_index())};
}

void Form1::Command_uart_Click()
{
    qrv::port_button_click(*this, m_serial, m_messages, m_vars,
                           [this] { return save_port_settings(); });
}

void Form1::Command2_Click()
{
    m_change->run();
}

void Form1::Text_old_Change()
{
    qrv::apply_id_change_rule(*this, m_messages, qrv::IdBox::old_id);
}

void Form1::Text_new_Change()
{
    qrv::apply_id_change_rule(*this, m_messages, qrv::IdBox::new_id);
}

bool Form1::save_port_settings()
{
    m_saved = {std::to_string(port_index()), std::to_string(baud_index())};
    return qrv::save_settings_file(settings_path(), m_saved);
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

void Form1::set_log_text(const std::string& text)
{
    QString plain = qs(text);
    plain.replace(QStringLiteral("\r\n"), QStringLiteral("\n"))
        .replace(QLatin1Char('\r'), QLatin1Char('\n'));
    Text_log->setPlainText(plain);
    // The newest lines, with the verdict, are the ones to see.
    Text_log->moveCursor(QTextCursor::End);
    Text_log->ensureCursorVisible();
}
