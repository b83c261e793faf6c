#include "form1.h"

#include "message_box.h"
#include "vocabulary.h"
#include "wide_text.h"
#include "win32_clock.h"
#include "win32_serial.h"
#include "window_clock.h"

#include <cmath>
#include <stdexcept>
#include <vector>

namespace {

namespace form = qrv::form;
using form::Kind;
using form::Role;

constexpr wchar_t class_name[] = L"QrvIdsetForm1";
constexpr DWORD window_style = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;
// Control ids count up from here: none is IDOK or IDCANCEL, which the
// dialog keys send for Enter and Escape in a box.
constexpr int first_control_id = 100;
// The timer that asks after an open port.
constexpr UINT_PTR port_check_timer = 1;
// A list's height is its box's and, below it, that of its dropped list.
constexpr int dropped_list_twips = 2400;

// A label that names the control after it for a screen reader alone.
constexpr DWORD unseen_label = SS_LEFT | SS_NOPREFIX;

// The window class and styles of a kind of control.
struct Made {
    const wchar_t* window_class;
    DWORD style;
    DWORD ex_style = 0;
};

Made made_as(Kind kind)
{
    constexpr DWORD tab_stop = WS_TABSTOP | WS_GROUP | WS_VISIBLE;
    switch (kind) {
    case Kind::lamp:
        return {L"STATIC", SS_OWNERDRAW | WS_VISIBLE};
    case Kind::button:
        return {L"BUTTON", BS_PUSHBUTTON | tab_stop};
    case Kind::label:
        // Centred in its height: where 宋体 is missing, a taller face is clipped evenly.
        return {L"STATIC", unseen_label | SS_CENTERIMAGE | WS_VISIBLE};
    case Kind::list:
        return {L"COMBOBOX", CBS_DROPDOWNLIST | WS_VSCROLL | tab_stop};
    case Kind::id_box:
        return {L"EDIT", ES_AUTOHSCROLL | tab_stop, WS_EX_CLIENTEDGE};
    case Kind::log_box:
        break;
    }
    return {L"EDIT", ES_MULTILINE | ES_AUTOVSCROLL | ES_WANTRETURN | tab_stop, WS_EX_CLIENTEDGE};
}

int scaled(int twips, UINT dpi)
{
    return MulDiv(twips, static_cast<int>(dpi), form::twips_per_inch);
}

HFONT make_font(form::Font designed, UINT dpi)
{
    LOGFONTW font{};
    font.lfHeight = -std::lround(designed.points * dpi / 72);
    font.lfWeight = designed.bold ? FW_BOLD : FW_NORMAL;
    // Where 宋体 is missing, Windows takes a face that has the charset.
    font.lfCharSet = GB2312_CHARSET;
    lstrcpynW(font.lfFaceName, wide(form::font_family).c_str(), LF_FACESIZE);
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
    RECT r{0, 0, scaled(form::client_width, dpi), scaled(form::client_height, dpi)};
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

// The caret to the end of a box's text, nothing selected.
void caret_to_end(HWND box)
{
    const int end = GetWindowTextLengthW(box);
    SendMessageW(box, EM_SETSEL, static_cast<WPARAM>(end), end);
}

void add_entry(HWND list, const std::string& text)
{
    SendMessageW(list, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(wide(text).c_str()));
}

} // namespace

// The fonts of the controls at one DPI, one for each that the design names.
struct Form1::Fonts {
    explicit Fonts(UINT dpi)
    {
        for (const form::Control& c : form::controls)
            if (!find(c.font))
                m_made.push_back({c.font, make_font(c.font, dpi)});
    }
    ~Fonts()
    {
        for (const auto& made : m_made)
            DeleteObject(made.second);
    }
    Fonts(const Fonts&) = delete;
    Fonts& operator=(const Fonts&) = delete;
    HFONT find(form::Font font) const
    {
        for (const auto& [designed, made] : m_made)
            if (designed.points == font.points && designed.bold == font.bold)
                return made;
        return nullptr;
    }

private:
    std::vector<std::pair<form::Font, HFONT>> m_made;
};

Form1::Form1(std::string tool_folder, Form1Services services)
    : m_tool_folder(std::move(tool_folder)),
      m_messages(given_or_own(services.messages, m_own_messages,
                              [this] { return std::make_unique<qrv::MessageBoxSink>(m_hwnd); })),
      m_clock(given_or_own(services.clock, m_own_clock,
                           [] { return std::make_unique<qrv::Win32Clock>(); })),
      m_serial(given_or_own(services.serial, m_own_serial,
                            [] { return std::make_unique<qrv::Win32Serial>(); })),
      m_window_clock(std::make_unique<qrv::WindowClock>(
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
    m_focus = port_list();
    SetTimer(m_hwnd, port_check_timer, port_check_ms, nullptr);
}

Form1::~Form1()
{
    if (m_hwnd)
        DestroyWindow(m_hwnd);
}

void Form1::create_controls()
{
    int id = first_control_id;
    const auto create = [&](Made made, const char* text) {
        return CreateWindowExW(made.ex_style, made.window_class, wide(text ? text : "").c_str(),
                               WS_CHILD | made.style, 0, 0, 0, 0, m_hwnd,
                               reinterpret_cast<HMENU>(static_cast<INT_PTR>(id++)), nullptr,
                               nullptr);
    };
    for (const form::Control& c : form::controls) {
        // No label names the log box: a screen reader finds this one.
        if (c.kind == Kind::log_box)
            m_log_box_name = create({L"STATIC", unseen_label}, c.name);
        m_controls[form::index(c.role)] =
            create(made_as(c.kind), c.kind == Kind::lamp ? c.name : c.caption);
    }
    for (int port = 1; port <= qrv::port_count; ++port)
        add_entry(port_list(), std::to_string(port));
    for (const std::int32_t baud : qrv::line_speeds)
        add_entry(baud_list(), std::to_string(baud));
    // The log only ever grows by what is typed or one entry: no cap.
    SendMessageW(log_box(), EM_SETLIMITTEXT, 0, 0);
}

// Places and sizes the window and its controls, and gives them fonts, for
// the screen's DPI: the design's twips to pixels.
void Form1::lay_out(UINT dpi)
{
    auto fonts = std::make_unique<Fonts>(dpi);
    for (const form::Control& c : form::controls) {
        const HWND control = m_controls[form::index(c.role)];
        const int height = c.where.height + (c.kind == Kind::list ? dropped_list_twips : 0);
        SetWindowPos(control, nullptr, scaled(c.where.left, dpi), scaled(c.where.top, dpi),
                     scaled(c.where.width, dpi), scaled(height, dpi),
                     SWP_NOZORDER | SWP_NOACTIVATE);
        SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(fonts->find(c.font)), TRUE);
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
    if (msg.wParam == VK_RETURN && (msg.hwnd == port_button() || msg.hwnd == change_button())) {
        const bool repeat = (msg.lParam & (1 << 30)) != 0; // a held key clicks once
        if (!repeat)
            SendMessageW(m_hwnd, WM_COMMAND,
                         MAKEWPARAM(GetDlgCtrlID(msg.hwnd), static_cast<WORD>(BN_CLICKED)),
                         reinterpret_cast<LPARAM>(msg.hwnd));
        return true;
    }
    // The arrow keys on a button move the focus as in the Qt window: Down
    // and Right to the next control, Up and Left to the one before.
    const bool back = msg.wParam == VK_UP || msg.wParam == VK_LEFT;
    if ((back || msg.wParam == VK_DOWN || msg.wParam == VK_RIGHT) &&
        (msg.hwnd == port_button() || msg.hwnd == change_button())) {
        SetFocus(GetNextDlgTabItem(m_hwnd, msg.hwnd, back));
        return true;
    }
    // A multi-line box closes the window on Escape, as it would a dialog.
    return msg.wParam == VK_ESCAPE && msg.hwnd == log_box();
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
        // With lp set, wp is the control to go to; else whether to go back.
        SetFocus(LOWORD(lp) ? reinterpret_cast<HWND>(wp)
                            : GetNextDlgTabItem(m_hwnd, GetFocus(), wp != 0));
        return 0;
    case WM_TIMER:
        if (wp == port_check_timer)
            m_controller->on_port_check();
        return 0;
    case WM_DEVICECHANGE: // an adapter plugged in or pulled out
        m_controller->on_port_check();
        return TRUE;
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
    if (code == BN_CLICKED && control == port_button())
        m_controller->on_port_clicked();
    else if (code == BN_CLICKED && control == change_button())
        m_controller->on_change_clicked();
    else if (code == EN_CHANGE && control == old_id_box())
        m_controller->on_old_id_changed();
    else if (code == EN_CHANGE && control == new_id_box())
        m_controller->on_new_id_changed();
}

void Form1::draw_lamp(const DRAWITEMSTRUCT& item) const
{
    const HDC dc = item.hDC;
    FillRect(dc, &item.rcItem, GetSysColorBrush(COLOR_BTNFACE));
    const HBRUSH fill = CreateSolidBrush(m_port_open ? RGB(255, 0, 0) : RGB(0, 0, 0));
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

void Form1::set_port_open(bool open)
{
    m_port_open = open;
    // A screen reader reads the port's state in the lamp's name.
    SetWindowTextW(lamp(), wide(open ? qrv::name_lamp_open : qrv::name_lamp_closed).c_str());
    InvalidateRect(lamp(), nullptr, TRUE);
}

int Form1::port_index() const
{
    return list_index(port_list());
}

void Form1::set_port_index(int index)
{
    SendMessageW(port_list(), CB_SETCURSEL, static_cast<WPARAM>(index), 0);
}

int Form1::baud_index() const
{
    return list_index(baud_list());
}

void Form1::set_baud_index(int index)
{
    SendMessageW(baud_list(), CB_SETCURSEL, static_cast<WPARAM>(index), 0);
}

std::string Form1::baud_entry(int index) const
{
    const auto length = SendMessageW(baud_list(), CB_GETLBTEXTLEN, static_cast<WPARAM>(index), 0);
    if (length < 0)
        return {};
    std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
    SendMessageW(baud_list(), CB_GETLBTEXT, static_cast<WPARAM>(index),
                 reinterpret_cast<LPARAM>(text.data()));
    text.resize(static_cast<std::size_t>(length));
    return utf8(text);
}

void Form1::set_lists_enabled(bool enabled)
{
    EnableWindow(port_list(), enabled);
    EnableWindow(baud_list(), enabled);
}

void Form1::set_port_caption(const std::string& caption)
{
    SetWindowTextW(port_button(), wide(caption).c_str());
}

void Form1::set_port_button_enabled(bool enabled)
{
    EnableWindow(port_button(), enabled);
}

std::string Form1::old_id_text() const
{
    return window_text(old_id_box());
}

void Form1::set_old_id_text(const std::string& text)
{
    set_box_text(old_id_box(), text);
}

std::string Form1::new_id_text() const
{
    return window_text(new_id_box());
}

void Form1::set_new_id_text(const std::string& text)
{
    set_box_text(new_id_box(), text);
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
    caret_to_end(box);
}

std::string Form1::log_text() const
{
    return window_text(log_box()); // CR LF, as an edit box holds its lines
}

void Form1::set_log_text(const std::string& text)
{
    SetWindowTextW(log_box(), wide(text).c_str());
    show_log_end();
}

void Form1::append_log_text(const std::string& text)
{
    caret_to_end(log_box());
    SendMessageW(log_box(), EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(wide(text).c_str()));
    show_log_end();
}

void Form1::show_log_end()
{
    // The newest lines, with the verdict, are the ones to see.
    caret_to_end(log_box());
    SendMessageW(log_box(), EM_SCROLLCARET, 0, 0);
}
