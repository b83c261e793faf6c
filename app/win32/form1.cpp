#include "form1.h"

#include "form_design.h"
#include "message_box.h"
#include "vocabulary.h"
#include "wide_text.h"
#include "win32_clock.h"
#include "win32_serial.h"
#include "window_clock.h"

#include <cmath>
#include <stdexcept>

namespace {

namespace design = qrv::design;

constexpr wchar_t class_name[] = L"QrvIdsetForm1";
constexpr DWORD window_style = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;
// Control ids count up from here: none is IDOK or IDCANCEL, which the
// dialog keys send for Enter and Escape in a box.
constexpr int first_control_id = 100;
// A list's height is its box's and, below it, that of its dropped list.
constexpr int dropped_list_twips = 2400;

enum class FontKind { label, port_button, change_button, standard };

struct Control {
    HWND Form1::*member;
    const wchar_t* window_class;
    const char* text;
    DWORD style;
    DWORD ex_style;
    design::Twips where;
    FontKind font;
};

// Centred in their height: where 宋体 is missing, a taller face is clipped evenly.
constexpr DWORD unseen_label = SS_LEFT | SS_NOPREFIX;
constexpr DWORD label = unseen_label | SS_CENTERIMAGE | WS_VISIBLE;
constexpr DWORD lamp = SS_OWNERDRAW | WS_VISIBLE;
constexpr DWORD button = BS_PUSHBUTTON | WS_TABSTOP | WS_GROUP | WS_VISIBLE;
constexpr DWORD list = CBS_DROPDOWNLIST | WS_VSCROLL | WS_TABSTOP | WS_GROUP | WS_VISIBLE;
constexpr DWORD box = ES_AUTOHSCROLL | WS_TABSTOP | WS_GROUP | WS_VISIBLE;
constexpr DWORD log_box =
    ES_MULTILINE | ES_AUTOVSCROLL | ES_WANTRETURN | WS_TABSTOP | WS_GROUP | WS_VISIBLE;

// In the order of creation, which is the tab order; a label comes before
// the control it names, where screen readers look for the name (the log box
// has one nobody sees).
const Control controls[] = {
    // clang-format off
    {&Form1::Label3, L"STATIC", qrv::label_port, label, 0, design::Label3, FontKind::label},
    {&Form1::Combo_uart, L"COMBOBOX", "", list, 0, design::Combo_uart, FontKind::standard},
    {&Form1::Label1, L"STATIC", qrv::label_baud, label, 0, design::Label1, FontKind::label},
    {&Form1::Combo_baud, L"COMBOBOX", "", list, 0, design::Combo_baud, FontKind::standard},
    {&Form1::Shape_uart, L"STATIC", qrv::name_lamp_closed, lamp, 0, design::Shape_uart, FontKind::standard},
    {&Form1::Command_uart, L"BUTTON", "", button, 0, design::Command_uart, FontKind::port_button},
    {&Form1::Label4, L"STATIC", qrv::label_old_id, label, 0, design::Label4, FontKind::label},
    {&Form1::Text_old, L"EDIT", "", box, WS_EX_CLIENTEDGE, design::Text_old, FontKind::standard},
    {&Form1::Label2, L"STATIC", qrv::label_new_id, label, 0, design::Label2, FontKind::label},
    {&Form1::Text_new, L"EDIT", "", box, WS_EX_CLIENTEDGE, design::Text_new, FontKind::standard},
    {&Form1::Command2, L"BUTTON", qrv::caption_change, button, 0, design::Command2, FontKind::change_button},
    {&Form1::Label5, L"STATIC", qrv::label_data_bits, label, 0, design::Label5, FontKind::label},
    {&Form1::Label6, L"STATIC", qrv::label_stop_bits, label, 0, design::Label6, FontKind::label},
    {&Form1::Label7, L"STATIC", qrv::label_parity, label, 0, design::Label7, FontKind::label},
    {&Form1::log_box_name, L"STATIC", qrv::name_log_box, unseen_label, 0, {}, FontKind::standard},
    {&Form1::Text_log, L"EDIT", "", log_box, WS_EX_CLIENTEDGE, design::Text_log, FontKind::standard},
    // clang-format on
};

int scaled(int twips, UINT dpi)
{
    return MulDiv(twips, static_cast<int>(dpi), design::twips_per_inch);
}

HFONT make_font(design::Font designed, UINT dpi)
{
    LOGFONTW font{};
    font.lfHeight = -std::lround(designed.points * dpi / 72);
    font.lfWeight = designed.bold ? FW_BOLD : FW_NORMAL;
    // Where 宋体 is missing, Windows takes a face that has the charset.
    font.lfCharSet = GB2312_CHARSET;
    lstrcpynW(font.lfFaceName, wide(design::font_family).c_str(), LF_FACESIZE);
    return CreateFontIndirectW(&font);
}

// Windows 10's per-monitor calls, looked up so that Windows 7 runs the tool
// at the system's DPI.
template <typename F> F* user32_function(const char* name)
{
    const auto found = GetProcAddress(GetModuleHandleW(L"user32.dll"), name);
    return reinterpret_cast<F*>(reinterpret_cast<void (*)()>(found));
}

UINT window_dpi(HWND hwnd)
{
    static const auto for_window = user32_function<UINT WINAPI(HWND)>("GetDpiForWindow");
    if (for_window)
        return for_window(hwnd);
    const HDC screen = GetDC(nullptr);
    const int dpi = GetDeviceCaps(screen, LOGPIXELSY);
    ReleaseDC(nullptr, screen);
    return static_cast<UINT>(dpi);
}

SIZE window_size(UINT dpi)
{
    static const auto adjust =
        user32_function<BOOL WINAPI(RECT*, DWORD, BOOL, DWORD, UINT)>("AdjustWindowRectExForDpi");
    RECT r{0, 0, scaled(design::client_width, dpi), scaled(design::client_height, dpi)};
    if (adjust)
        adjust(&r, window_style, FALSE, 0, dpi);
    else
        AdjustWindowRectEx(&r, window_style, FALSE, 0);
    return {r.right - r.left, r.bottom - r.top};
}

int list_index(HWND list)
{
    return static_cast<int>(SendMessageW(list, CB_GETCURSEL, 0, 0));
}

void add_entry(HWND list, const std::string& text)
{
    SendMessageW(list, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(wide(text).c_str()));
}

} // namespace

struct Form1::Fonts {
    explicit Fonts(UINT dpi)
        : label(make_font(design::label_font, dpi)),
          port_button(make_font(design::port_button_font, dpi)),
          change_button(make_font(design::change_button_font, dpi)),
          standard(make_font(design::default_font, dpi))
    {
    }
    ~Fonts()
    {
        for (HFONT font : {label, port_button, change_button, standard})
            DeleteObject(font);
    }
    Fonts(const Fonts&) = delete;
    Fonts& operator=(const Fonts&) = delete;
    HFONT of(FontKind kind) const
    {
        switch (kind) {
        case FontKind::label:
            return label;
        case FontKind::port_button:
            return port_button;
        case FontKind::change_button:
            return change_button;
        case FontKind::standard:
            break;
        }
        return standard;
    }
    HFONT label, port_button, change_button, standard;
};

Form1::Form1(std::string tool_folder, Form1Services services)
    : m_tool_folder(std::move(tool_folder)),
      m_messages(given_or_own(services.messages, m_own_messages,
                              [this] { return std::make_unique<MessageBoxSink>(m_hwnd); })),
      m_clock(
          given_or_own(services.clock, m_own_clock, [] { return std::make_unique<Win32Clock>(); })),
      m_serial(given_or_own(services.serial, m_own_serial,
                            [] { return std::make_unique<qrv::Win32Serial>(); })),
      m_window_clock(std::make_unique<WindowClock>(
          m_clock, [this](MSG& msg) { dispatch(msg); }, [this](bool busy) { set_busy(busy); })),
      m_controller(std::make_unique<FormController>(*this, m_serial, *m_window_clock, m_messages,
                                                    m_tool_folder,
                                                    [this] { DestroyWindow(m_hwnd); }))
{
    const HINSTANCE instance = GetModuleHandleW(nullptr);
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = window_proc;
    wc.hInstance = instance;
    wc.hIcon = LoadIconW(instance, MAKEINTRESOURCEW(1));
    wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    wc.lpszClassName = class_name;
    RegisterClassExW(&wc); // fails harmlessly for a second window
    CreateWindowExW(0, class_name, wide(qrv::app_title).c_str(), window_style, CW_USEDEFAULT,
                    CW_USEDEFAULT, 0, 0, nullptr, nullptr, instance, this);
    if (!m_hwnd)
        throw std::runtime_error("the window could not be created");
    create_controls();
    lay_out(window_dpi(m_hwnd));
    m_controller->on_load();
    m_focus = Combo_uart;
}

Form1::~Form1()
{
    if (m_hwnd)
        DestroyWindow(m_hwnd);
}

void Form1::create_controls()
{
    int id = first_control_id;
    for (const Control& c : controls) {
        this->*c.member = CreateWindowExW(
            c.ex_style, c.window_class, wide(c.text).c_str(), WS_CHILD | c.style, 0, 0, 0, 0,
            m_hwnd, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id++)), nullptr, nullptr);
    }
    for (int port = 1; port <= qrv::port_count; ++port)
        add_entry(Combo_uart, std::to_string(port));
    for (const std::int32_t baud : qrv::line_speeds)
        add_entry(Combo_baud, std::to_string(baud));
    // The log only ever grows by what is typed or one entry: no cap.
    SendMessageW(Text_log, EM_SETLIMITTEXT, 0, 0);
}

// Places and sizes the window and its controls, and gives them fonts, for
// the screen's DPI: the design's twips to pixels.
void Form1::lay_out(UINT dpi)
{
    auto fonts = std::make_unique<Fonts>(dpi);
    for (const Control& c : controls) {
        const bool is_list = c.member == &Form1::Combo_uart || c.member == &Form1::Combo_baud;
        const int height = c.where.height + (is_list ? dropped_list_twips : 0);
        SetWindowPos(this->*c.member, nullptr, scaled(c.where.left, dpi), scaled(c.where.top, dpi),
                     scaled(c.where.width, dpi), scaled(height, dpi),
                     SWP_NOZORDER | SWP_NOACTIVATE);
        SendMessageW(this->*c.member, WM_SETFONT, reinterpret_cast<WPARAM>(fonts->of(c.font)),
                     TRUE);
    }
    m_fonts = std::move(fonts); // the old ones only now that no control uses them
    const SIZE size = window_size(dpi);
    SetWindowPos(m_hwnd, nullptr, 0, 0, size.cx, size.cy,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void Form1::show(int how)
{
    ShowWindow(m_hwnd, how);
    UpdateWindow(m_hwnd);
}

void Form1::dispatch(MSG& msg)
{
    if (msg.message == WM_KEYDOWN && on_key(msg))
        return;
    if (m_hwnd && IsDialogMessageW(m_hwnd, &msg))
        return;
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
}

void Form1::run()
{
    MSG msg;
    while (m_hwnd && GetMessageW(&msg, nullptr, 0, 0) > 0)
        dispatch(msg);
}

bool Form1::on_key(const MSG& msg)
{
    // Technicians tab to a button and press Enter. The dialog keys click
    // only a default button on Enter, and neither is one: Enter in a text box
    // must go on doing nothing.
    if (msg.wParam == VK_RETURN && (msg.hwnd == Command_uart || msg.hwnd == Command2)) {
        const bool repeat = (msg.lParam & (1 << 30)) != 0; // a held key clicks once
        if (!repeat)
            SendMessageW(m_hwnd, WM_COMMAND,
                         MAKEWPARAM(GetDlgCtrlID(msg.hwnd), static_cast<WORD>(BN_CLICKED)),
                         reinterpret_cast<LPARAM>(msg.hwnd));
        return true;
    }
    // A multi-line box closes the window on Escape, as it would a dialog.
    return msg.wParam == VK_ESCAPE && msg.hwnd == Text_log;
}

LRESULT CALLBACK Form1::window_proc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp)
{
    if (msg == WM_NCCREATE) {
        auto* form = static_cast<Form1*>(reinterpret_cast<CREATESTRUCTW*>(lp)->lpCreateParams);
        form->m_hwnd = hwnd;
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(form));
    }
    auto* form = reinterpret_cast<Form1*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (!form)
        return DefWindowProcW(hwnd, msg, wp, lp);
    // Windows calls in here from C: nothing may throw back through it.
    try {
        return form->handle(hwnd, msg, wp, lp);
    } catch (...) {
        MessageBeep(MB_ICONERROR);
        return 0;
    }
}

LRESULT Form1::handle(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp)
{
    switch (msg) {
    case WM_COMMAND:
        on_command(reinterpret_cast<HWND>(lp), HIWORD(wp));
        return 0;
    case WM_DRAWITEM:
        draw_lamp(*reinterpret_cast<const DRAWITEMSTRUCT*>(lp));
        return TRUE;
    case WM_SETCURSOR:
        if (!m_busy)
            break;
        SetCursor(LoadCursorW(nullptr, IDC_WAIT));
        return TRUE;
    case WM_ACTIVATE:
        if (LOWORD(wp) == WA_INACTIVE && IsChild(m_hwnd, GetFocus()))
            m_focus = GetFocus();
        break;
    case WM_SETFOCUS:
        SetFocus(m_focus);
        return 0;
    case WM_NEXTDLGCTL: // Tab in the log box, which asks as it would a dialog
        SetFocus(GetNextDlgTabItem(m_hwnd, GetFocus(), wp != 0));
        return 0;
    case WM_DPICHANGED: {
        const RECT* suggested = reinterpret_cast<const RECT*>(lp);
        SetWindowPos(m_hwnd, nullptr, suggested->left, suggested->top, 0, 0,
                     SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
        lay_out(HIWORD(wp));
        return 0;
    }
    case WM_CLOSE:
        // Not under a handler still running, such as a change in its wait.
        if (m_controller->close_requested())
            DestroyWindow(m_hwnd);
        return 0;
    case WM_QUERYENDSESSION:
        return TRUE;
    case WM_ENDSESSION:
        // The program may be ended as soon as this returns.
        if (wp)
            m_controller->end_session();
        return 0;
    case WM_NCDESTROY:
        m_hwnd = nullptr;
        break;
    }
    return DefWindowProcW(hwnd, msg, wp, lp);
}

void Form1::on_command(HWND control, WORD code)
{
    if (code == BN_CLICKED && control == Command_uart)
        m_controller->on_port_clicked();
    else if (code == BN_CLICKED && control == Command2)
        m_controller->on_change_clicked();
    else if (code == EN_CHANGE && control == Text_old)
        m_controller->on_old_id_changed();
    else if (code == EN_CHANGE && control == Text_new)
        m_controller->on_new_id_changed();
}

void Form1::draw_lamp(const DRAWITEMSTRUCT& item) const
{
    const HDC dc = item.hDC;
    FillRect(dc, &item.rcItem, GetSysColorBrush(COLOR_BTNFACE));
    const HBRUSH fill = CreateSolidBrush(static_cast<COLORREF>(m_lamp_color) & 0xFFFFFF);
    const HGDIOBJ old_brush = SelectObject(dc, fill);
    const HGDIOBJ old_pen = SelectObject(dc, GetStockObject(BLACK_PEN));
    Ellipse(dc, item.rcItem.left, item.rcItem.top, item.rcItem.right, item.rcItem.bottom);
    SelectObject(dc, old_pen);
    SelectObject(dc, old_brush);
    DeleteObject(fill);
}

void Form1::set_busy(bool busy)
{
    m_busy = busy;
    // The pointer changes now, not at the next move of the mouse.
    POINT at;
    GetCursorPos(&at);
    const HWND under = WindowFromPoint(at);
    if (under == m_hwnd || IsChild(m_hwnd, under)) {
        const LRESULT hit = SendMessageW(under, WM_NCHITTEST, 0, MAKELPARAM(at.x, at.y));
        SendMessageW(under, WM_SETCURSOR, reinterpret_cast<WPARAM>(under),
                     MAKELPARAM(hit, WM_MOUSEMOVE));
    }
}

void Form1::set_lamp_color(std::int32_t color)
{
    m_lamp_color = color;
    // A screen reader reads the port's state in the lamp's name.
    SetWindowTextW(Shape_uart,
                   wide(color == 0 ? qrv::name_lamp_closed : qrv::name_lamp_open).c_str());
    InvalidateRect(Shape_uart, nullptr, TRUE);
}

int Form1::port_index() const
{
    return list_index(Combo_uart);
}

void Form1::set_port_index(int index)
{
    SendMessageW(Combo_uart, CB_SETCURSEL, static_cast<WPARAM>(index), 0);
}

int Form1::baud_index() const
{
    return list_index(Combo_baud);
}

void Form1::set_baud_index(int index)
{
    SendMessageW(Combo_baud, CB_SETCURSEL, static_cast<WPARAM>(index), 0);
}

std::string Form1::baud_entry(int index) const
{
    const auto length = SendMessageW(Combo_baud, CB_GETLBTEXTLEN, static_cast<WPARAM>(index), 0);
    if (length < 0)
        return {};
    std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
    SendMessageW(Combo_baud, CB_GETLBTEXT, static_cast<WPARAM>(index),
                 reinterpret_cast<LPARAM>(text.data()));
    text.resize(static_cast<std::size_t>(length));
    return utf8(text);
}

void Form1::set_lists_enabled(bool enabled)
{
    EnableWindow(Combo_uart, enabled);
    EnableWindow(Combo_baud, enabled);
}

void Form1::set_port_caption(const std::string& caption)
{
    SetWindowTextW(Command_uart, wide(caption).c_str());
}

void Form1::set_port_button_enabled(bool enabled)
{
    EnableWindow(Command_uart, enabled);
}

std::string Form1::old_id_text() const
{
    return window_text(Text_old);
}

void Form1::set_old_id_text(const std::string& text)
{
    set_box_text(Text_old, text);
}

std::string Form1::new_id_text() const
{
    return window_text(Text_new);
}

void Form1::set_new_id_text(const std::string& text)
{
    set_box_text(Text_new, text);
}

// An edit box raises EN_CHANGE on every WM_SETTEXT, even of the text it
// holds: only a different text is set, so a rule that rewrites its own box
// runs once more and no further. The caret goes to the end, where typing
// goes on: at the front, the next digit would go before the others.
void Form1::set_box_text(HWND box, const std::string& text)
{
    if (window_text(box) == text)
        return;
    SetWindowTextW(box, wide(text).c_str());
    const int end = GetWindowTextLengthW(box);
    SendMessageW(box, EM_SETSEL, static_cast<WPARAM>(end), end);
}

std::string Form1::log_text() const
{
    return window_text(Text_log); // CR LF, as an edit box holds its lines
}

void Form1::set_log_text(const std::string& text)
{
    SetWindowTextW(Text_log, wide(text).c_str());
    show_log_end();
}

void Form1::append_log_text(const std::string& text)
{
    const int end = GetWindowTextLengthW(Text_log);
    SendMessageW(Text_log, EM_SETSEL, static_cast<WPARAM>(end), end);
    SendMessageW(Text_log, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(wide(text).c_str()));
    show_log_end();
}

void Form1::show_log_end()
{
    // The newest lines, with the verdict, are the ones to see.
    const int end = GetWindowTextLengthW(Text_log);
    SendMessageW(Text_log, EM_SETSEL, static_cast<WPARAM>(end), end);
    SendMessageW(Text_log, EM_SCROLLCARET, 0, 0);
}
