// The Win32 window under Wine on a display, driven by window messages as a
// technician's keys and clicks would drive it: what it shows, its keys, the
// ID boxes, and a whole change against the virtual device on COM9.
#include "fakes.h"
#include "form1.h"
#include "form_table.h"
#include "golden.h"
#include "keystrokes.h"
#include "message_box.h"
#include "vocabulary.h"
#include "wide_text.h"
#include "wine.h"

#include <ctime>
#include <gtest/gtest.h>
#include <map>
#include <oleacc.h>

using namespace qrv;
using namespace qrv::test;
namespace form = qrv::form;

namespace {

// Every waiting message through the form, as its message loop hands them.
void pump(Form1& form)
{
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE))
        form.dispatch(msg);
}

void key(Form1& form, HWND control, WPARAM vk)
{
    PostMessageW(control, WM_KEYDOWN, vk, 1);
    PostMessageW(control, WM_KEYUP, vk, 1 | 0xC0000000);
    pump(form);
}

struct Started {
    explicit Started(SerialApi* serial = nullptr, const std::string& settings = "")
    {
        if (!settings.empty())
            write_file(dir.file("parameter.txt"), settings);
        form = std::make_unique<Form1>(dir.path(), Form1Services{&messages, nullptr, serial});
        form->show();
        pump(*form);
    }
    COLORREF lamp() const
    {
        UpdateWindow(form->lamp());
        RECT r;
        GetClientRect(form->lamp(), &r);
        const HDC dc = GetDC(form->lamp());
        const COLORREF pixel = GetPixel(dc, r.right / 2, r.bottom / 2);
        ReleaseDC(form->lamp(), dc);
        return pixel;
    }
    TempDir dir;
    MessageRecorder messages;
    std::unique_ptr<Form1> form;
};

// The name a screen reader reads for a control.
std::string accessible_name(HWND control)
{
    IAccessible* object = nullptr;
    if (FAILED(AccessibleObjectFromWindow(control, OBJID_CLIENT, __uuidof(IAccessible),
                                          reinterpret_cast<void**>(&object))))
        return "?";
    VARIANT self{};
    self.vt = VT_I4;
    self.lVal = CHILDID_SELF;
    BSTR name = nullptr;
    object->get_accName(self, &name);
    const std::string text = name ? utf8(name) : "";
    SysFreeString(name);
    object->Release();
    return text;
}

// Today's day log in the folder, by the C library's calendar.
std::string todays_day_log(const TempDir& dir)
{
    const std::time_t now = std::time(nullptr);
    char name[32];
    std::strftime(name, sizeof name, "%Y-%m-%d.txt", std::localtime(&now));
    return read_file(dir.file(name));
}

// Runs during a change's wait or a message box: a thread timer, whose
// procedure gets no context of its own.
std::function<void()> on_timer;
void CALLBACK timer_proc(HWND, UINT, UINT_PTR id, DWORD)
{
    KillTimer(nullptr, id);
    on_timer();
}

} // namespace

TEST(Win32Form, LaidOutAsDesigned)
{
    Started s(nullptr, "\"0\",\"5\"\r\n");
    const Form1& f = *s.form;
    // What each control shows after start-up, by its design name.
    const std::map<std::string, std::string> texts = {
        // clang-format off
        {"Command_uart", "打开串口"}, {"Label3", "串口号"}, {"Combo_uart", "1"}, {"Label1", "波特率"},
        {"Combo_baud", "230400"}, {"Label5", "数据位：8"}, {"Label6", "停止位：1"},
        {"Label7", "校验位：无"}, {"Label4", "原设备ID"}, {"Text_old", "17"}, {"Label2", "新设备ID"},
        {"Text_new", "1"}, {"Command2", "更改ID"}, {"Text_log", ""}, {"Shape_uart", "串口状态：关闭"},
        // clang-format on
    };
    for (const form::Control& c : form::controls) {
        SCOPED_TRACE(c.design_name);
        const HWND control = f.control(c.role);
        EXPECT_EQ(window_text(control), texts.at(c.design_name));
        RECT r;
        GetWindowRect(control, &r);
        MapWindowPoints(nullptr, f.hwnd(), reinterpret_cast<POINT*>(&r), 2);
        // At 96 dpi; a list's height is its font's.
        EXPECT_EQ(r.left * 15, c.where.left);
        EXPECT_EQ(r.top * 15, c.where.top);
        EXPECT_EQ(r.right * 15, c.where.left + c.where.width);
        if (c.kind != form::Kind::list) {
            EXPECT_EQ(r.bottom * 15, c.where.top + c.where.height);
        }
        LOGFONTW font;
        GetObjectW(reinterpret_cast<HFONT>(SendMessageW(control, WM_GETFONT, 0, 0)), sizeof font,
                   &font);
        EXPECT_EQ(utf8(font.lfFaceName), "宋体");
        EXPECT_EQ(font.lfCharSet, GB2312_CHARSET);
        EXPECT_EQ(font.lfHeight, -std::lround(c.font.points * 96 / 72));
        EXPECT_EQ(font.lfWeight, c.font.bold ? FW_BOLD : FW_NORMAL);
    }
    RECT client;
    GetClientRect(f.hwnd(), &client);
    EXPECT_EQ(client.right * 15, form::client_width);
    EXPECT_EQ(client.bottom * 15, form::client_height);
    EXPECT_EQ(window_text(f.hwnd()), "QRV ID设置软件");
    EXPECT_EQ(SendMessageW(f.port_list(), CB_GETCOUNT, 0, 0), 24);
    EXPECT_EQ(f.baud_entry(0) + " " + f.baud_entry(5), "9600 230400");
    EXPECT_EQ(GetWindowLongW(f.baud_list(), GWL_STYLE) & 3, CBS_DROPDOWNLIST);
    for (HWND button : {f.port_button(), f.change_button()}) // neither is a default button
        EXPECT_EQ(GetWindowLongW(button, GWL_STYLE) & BS_TYPEMASK, BS_PUSHBUTTON);
    EXPECT_EQ(s.lamp(), RGB(0, 0, 0));
    // What a screen reader says of each, as the Qt window names them.
    CoInitialize(nullptr);
    const std::pair<HWND, std::string> names[] = {
        {f.old_id_box(), "原设备ID"},  {f.new_id_box(), "新设备ID"}, {f.log_box(), "操作日志"},
        {f.port_button(), "打开串口"}, {f.lamp(), "串口状态：关闭"}, {f.change_button(), "更改ID"},
    };
    for (const auto& [control, name] : names)
        EXPECT_EQ(accessible_name(control), name);
    s.form->set_port_open(true);
    EXPECT_EQ(accessible_name(f.lamp()), "串口状态：打开");
    CoUninitialize();
}

TEST(Win32Form, KeysWalkAndClickAsOnWindows)
{
    FakeSerial serial;
    Started s(&serial);
    Form1& f = *s.form;
    const auto walk = [&](int steps) {
        std::vector<HWND> seen;
        for (int i = 0; i < steps; ++i) {
            key(f, GetFocus(), VK_TAB);
            seen.push_back(GetFocus());
        }
        return seen;
    };
    EXPECT_EQ(GetFocus(), f.port_list());
    EXPECT_EQ(walk(7),
              (std::vector<HWND>{f.baud_list(), f.port_button(), f.old_id_box(), f.new_id_box(),
                                 f.change_button(), f.log_box(), f.port_list()}));
    const std::string refused = std::string(star_line) + "\r\n\r\n";
    // Each key on each control: clicks of the port button (its library
    // calls), clicks of the change button (its message while the port is
    // closed), and what the log box holds.
    const struct {
        HWND focus;
        WPARAM key;
        std::size_t port_calls, messages;
        std::string log;
    } rows[] = {
        {f.port_button(), VK_RETURN, 2, 0, ""},        {f.port_button(), VK_SPACE, 1, 0, ""},
        {f.change_button(), VK_RETURN, 0, 1, refused}, {f.change_button(), VK_SPACE, 0, 1, refused},
        {f.old_id_box(), VK_RETURN, 0, 0, ""},         {f.new_id_box(), VK_RETURN, 0, 0, ""},
        {f.log_box(), VK_RETURN, 0, 0, "\r\n"},        {f.log_box(), VK_ESCAPE, 0, 0, ""},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(window_text(row.focus) + " key " + std::to_string(row.key));
        serial.calls.clear();
        s.messages.messages.clear();
        f.set_log_text("");
        SetFocus(row.focus);
        key(f, row.focus, row.key);
        // Open or close; the checks of the open port between keys aside.
        EXPECT_EQ(std::ranges::count_if(serial.calls,
                                        [](const std::string& c) { return !c.starts_with("iq"); }),
                  row.port_calls);
        EXPECT_EQ(s.messages.messages.size(), row.messages);
        EXPECT_EQ(f.log_text(), row.log);
        EXPECT_TRUE(IsWindowVisible(f.hwnd()));
    }
    // The arrow keys on a button, as in the Qt window: Down and Right
    // forward, Up and Left back.
    const std::tuple<HWND, WPARAM, HWND> arrows[] = {
        {f.port_button(), VK_DOWN, f.old_id_box()}, {f.port_button(), VK_RIGHT, f.old_id_box()},
        {f.port_button(), VK_UP, f.baud_list()},    {f.port_button(), VK_LEFT, f.baud_list()},
        {f.change_button(), VK_DOWN, f.log_box()},  {f.change_button(), VK_UP, f.new_id_box()},
    };
    for (const auto& [from, arrow, to] : arrows) {
        SetFocus(from);
        key(f, from, arrow);
        EXPECT_EQ(GetFocus(), to) << window_text(from) << " key " << arrow;
    }
    // Open, the lists are locked and out of the walk.
    SetFocus(f.port_button());
    key(f, f.port_button(), VK_RETURN);
    EXPECT_FALSE(IsWindowEnabled(f.port_list()) || IsWindowEnabled(f.baud_list()));
    EXPECT_EQ(walk(5), (std::vector<HWND>{f.old_id_box(), f.new_id_box(), f.change_button(),
                                          f.log_box(), f.port_button()}));
}

TEST(Win32Form, IdBoxesTakeKeysAsTyped)
{
    FakeSerial serial;
    Started s(&serial);
    Form1& f = *s.form;
    for (HWND box : {f.old_id_box(), f.new_id_box()}) {
        const std::string message = box == f.old_id_box() ? said::old_id : said::new_id;
        for (const Keystrokes& row : id_box_keystrokes) {
            SetWindowTextW(box, L"");
            s.messages.messages.clear();
            for (const char* c = row.keys; *c; ++c)
                PostMessageW(box, WM_CHAR, static_cast<WPARAM>(*c), 1);
            pump(f);
            EXPECT_EQ(window_text(box), row.shown) << row.keys;
            EXPECT_EQ(s.messages.messages, Strings(row.messages, message)) << row.keys;
        }
    }
    f.set_new_id_text("0");
    s.messages.messages.clear();
    f.set_new_id_text("0"); // the same text again changes nothing
    EXPECT_TRUE(s.messages.messages.empty());
}

// The window closed, or the session ended, while an attempt waits for its
// reply or shows its message: the attempt is filed first, its message shown
// (at a close), then the window goes.
TEST(Win32Form, CloseOrLogOffDuringAnAttempt)
{
    const std::string no_reply = "设置无响应，请重新设置";
    for (const UINT ending : {WM_CLOSE, WM_ENDSESSION}) {
        SCOPED_TRACE(ending);
        FakeSerial serial;
        Started s(&serial);
        Form1& f = *s.form;
        SendMessageW(f.port_button(), BM_CLICK, 0, 0);
        std::string filed_before_message, filed_at_log_off;
        s.messages.on_message = [&] { filed_before_message = todays_day_log(s.dir); };
        on_timer = [&] {
            SendMessageW(f.hwnd(), ending, TRUE, ENDSESSION_LOGOFF);
            if (ending == WM_ENDSESSION) // the program may be gone from here on
                filed_at_log_off = todays_day_log(s.dir);
        };
        SetTimer(nullptr, 0, 300, timer_proc);
        SendMessageW(f.change_button(), BM_CLICK, 0, 0);
        const std::string filed = todays_day_log(s.dir);
        EXPECT_NE(filed.find(as_in_day_log(filed, no_reply + star_line)), filed.npos);
        if (ending == WM_CLOSE) {
            EXPECT_EQ(s.messages.messages, Strings{no_reply});
            EXPECT_EQ(filed_before_message, filed);
            EXPECT_EQ(f.hwnd(), nullptr);
        } else {
            EXPECT_EQ(filed, record(f.log_text())); // one record, once
            EXPECT_EQ(filed_at_log_off, filed);
            EXPECT_TRUE(s.messages.messages.empty());
        }
    }
}

TEST(Win32Form, ChangesTheDeviceIdFromTheKeyboard)
{
    Devsim device(9);
    Started s;
    Form1& f = *s.form;
    SetFocus(f.port_button());
    key(f, f.port_button(), VK_RETURN);
    EXPECT_EQ(s.lamp(), RGB(255, 0, 0));
    EXPECT_EQ(window_text(f.port_button()), "关闭串口");
    EXPECT_EQ(read_file(s.dir.file("parameter.txt")), "\"8\",\"4\"\r\n");

    // Halfway through the wait: the busy pointer, and a second press.
    HCURSOR during = nullptr;
    on_timer = [&] {
        SendMessageW(f.hwnd(), WM_SETCURSOR, reinterpret_cast<WPARAM>(f.old_id_box()),
                     MAKELPARAM(HTCLIENT, WM_MOUSEMOVE));
        during = GetCursor();
        SendMessageW(f.change_button(), BM_CLICK, 0, 0);
    };
    SetTimer(nullptr, 0, 500, timer_proc);
    SetFocus(f.change_button());
    const DWORD start = GetTickCount();
    key(f, f.change_button(), VK_SPACE);
    EXPECT_GE(GetTickCount() - start, 1000u);
    EXPECT_EQ(during, LoadCursorW(nullptr, IDC_WAIT));
    SendMessageW(f.hwnd(), WM_SETCURSOR, reinterpret_cast<WPARAM>(f.old_id_box()),
                 MAKELPARAM(HTCLIENT, WM_MOUSEMOVE));
    EXPECT_NE(GetCursor(), LoadCursorW(nullptr, IDC_WAIT));

    const std::string log = f.log_text();
    EXPECT_NE(log.find("响应数据：1 6 0 A 0 1 68 8\r\nModbus 新ID 设置成功  *"), log.npos) << log;
    EXPECT_EQ(s.messages.messages, Strings{});
    const std::string heard = device.output();
    EXPECT_EQ(heard.find("RX 11 6 0 A 0 1"), heard.rfind("RX 11 6 0 A 0 1")); // sent once
    const std::string day_log = todays_day_log(s.dir);
    EXPECT_EQ(day_log, record(log));
    if (GetACP() == 936) { // GBK's 设置成功
        EXPECT_NE(day_log.find("\xC9\xE8\xD6\xC3\xB3\xC9\xB9\xA6"), day_log.npos);
    }

    // The adapter pulled out while the port stands idle: found within 2 s,
    // the port closed and said.
    device.signal("KILL");
    const DWORD pulled = GetTickCount();
    while (f.is_port_open() && GetTickCount() - pulled < 5000) {
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 50, QS_ALLINPUT);
        pump(f);
    }
    EXPECT_LT(GetTickCount() - pulled, 2000u);
    EXPECT_EQ(s.messages.messages, Strings{said::port_gone});
    EXPECT_EQ(s.lamp(), RGB(0, 0, 0));
    EXPECT_EQ(window_text(f.port_button()), "打开串口");
    EXPECT_TRUE(IsWindowEnabled(f.port_list()) && IsWindowEnabled(f.baud_list()));
}

// The virtual device refusing the change, taking it behind an echo from its
// old address, or pulled out after its echo came: each said for what it is.
TEST(Win32Form, WhatTheDeviceDidIsSaid)
{
    const std::string moved = "设备已更改ID，已在ID 1 读回确认（更改的应答来自原地址）",
                      refused = "设备拒绝更改：异常码 03（非法数据值）";
    const struct {
        std::vector<std::string> options;
        bool pulled; // 300 ms into the wait, after the echo
        std::string outcome;
        Strings told;
    } rows[] = {
        {{"--id", "17", "--refuse", "3"}, false, "响应数据：11 86 3 3 A4\r\n" + refused, {refused}},
        {{"--id", "17", "--reply-from-old"},
         false,
         "响应数据：11 6 0 A 0 1 6A 98\r\n" + moved,
         {moved}},
        {{"--id", "17"},
         true,
         "响应数据：1 6 0 A 0 1 68 8\r\nModbus 新ID 设置成功  ",
         {said::port_gone}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.outcome);
        Devsim device(9, row.options);
        Started s;
        Form1& f = *s.form;
        SendMessageW(f.port_button(), BM_CLICK, 0, 0);
        on_timer = [&] { device.signal("KILL"); };
        if (row.pulled)
            SetTimer(nullptr, 0, 300, timer_proc);
        SendMessageW(f.change_button(), BM_CLICK, 0, 0);
        const std::string log = f.log_text();
        EXPECT_NE(log.find("\r\n" + row.outcome + star_line), log.npos) << log;
        EXPECT_EQ(todays_day_log(s.dir), record(log));
        EXPECT_EQ(s.messages.messages, row.told);
        EXPECT_EQ(f.is_port_open(), !row.pulled);
        EXPECT_EQ(s.lamp(), row.pulled ? RGB(0, 0, 0) : RGB(255, 0, 0));
    }
}

// During the wait a box is tidied as typed; its message waits for the
// verdict and its record, and comes after them.
TEST(Win32Form, TypingDuringTheWaitIsJudgedAfterTheVerdict)
{
    FakeSerial serial;
    Started s(&serial);
    Form1& f = *s.form;
    SendMessageW(f.port_button(), BM_CLICK, 0, 0);
    Strings filed_at_message;
    s.messages.on_message = [&] { filed_at_message.push_back(todays_day_log(s.dir)); };
    on_timer = [&] {
        for (const auto& [box, keys] :
             {std::pair(f.new_id_box(), "2150"), std::pair(f.old_id_box(), "005")}) {
            SendMessageW(box, EM_SETSEL, 0, -1);
            for (const char* c = keys; *c; ++c)
                PostMessageW(box, WM_CHAR, static_cast<WPARAM>(*c), 1);
        }
    };
    SetTimer(nullptr, 0, 300, timer_proc);
    SendMessageW(f.change_button(), BM_CLICK, 0, 0);
    EXPECT_EQ(window_text(f.old_id_box()) + "," + window_text(f.new_id_box()), "5,2150");
    EXPECT_EQ(s.messages.messages, (Strings{said::no_reply, said::new_id}));
    EXPECT_EQ(filed_at_message, Strings(2, todays_day_log(s.dir)));
}

TEST(Win32Form, LogBoxShowsItsEnd)
{
    Started s;
    std::string lines;
    for (int i = 0; i < 40; ++i)
        lines += "\r\n";
    s.form->set_log_text(lines + "verdict");
    const auto end =
        SendMessageW(s.form->log_box(), EM_POSFROMCHAR,
                     static_cast<WPARAM>(GetWindowTextLengthW(s.form->log_box()) - 1), 0);
    RECT box;
    GetClientRect(s.form->log_box(), &box);
    EXPECT_GT(SendMessageW(s.form->log_box(), EM_GETFIRSTVISIBLELINE, 0, 0), 0);
    EXPECT_LT(static_cast<short>(HIWORD(end)), box.bottom);
}

TEST(Win32Form, MessageBoxIsModalWithTheTitleAndOneButton)
{
    Started s;
    std::string seen;
    on_timer = [&] {
        const HWND box = FindWindowW(L"#32770", L"QRV ID设置软件");
        EnumChildWindows(
            box,
            [](HWND child, LPARAM out) {
                wchar_t name[16];
                GetClassNameW(child, name, 16);
                *reinterpret_cast<std::string*>(out) += utf8(name) + ":" + window_text(child) + "|";
                return TRUE;
            },
            reinterpret_cast<LPARAM>(&seen));
        seen += GetWindow(box, GW_OWNER) == s.form->hwnd() && !IsWindowEnabled(s.form->hwnd())
                    ? "modal"
                    : "modeless";
        PostMessageW(box, WM_COMMAND, IDOK, 0);
    };
    SetTimer(nullptr, 0, 100, timer_proc);
    qrv::MessageBoxSink(s.form->hwnd()).show_message("请打开串口");
    EXPECT_NE(seen.find("Static:请打开串口|"), seen.npos) << seen;
    EXPECT_EQ(seen.find("Button:"), seen.rfind("Button:")) << seen;
    EXPECT_TRUE(seen.ends_with("modal")) << seen;
}
