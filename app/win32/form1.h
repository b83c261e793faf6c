// The tool's one window on the Win32 API: its controls, the five handlers,
// and the window state that the core units read and write.
#pragma once

#include "form1_services.h"
#include "form_controller.h"

#include <memory>
#include <windows.h>

class Form1 : public qrv::WindowState {
public:
    // tool_folder holds parameter.txt and the day logs. The window is
    // created hidden; show() shows it.
    explicit Form1(std::string tool_folder, Form1Services services = {});
    ~Form1() override;
    Form1(const Form1&) = delete;
    Form1& operator=(const Form1&) = delete;

    HWND hwnd() const { return m_hwnd; }
    void show(int how = SW_SHOW);
    // Hands one message of this thread to its window, with the keyboard
    // handling of the form: Tab between the controls, Enter on a button.
    void dispatch(MSG& msg);
    // Pumps messages until the window is closed.
    void run();

    const qrv::PortSettings& saved_settings() const { return m_controller->saved_settings(); }
    // What the log box shows, with CR LF line ends.
    std::string log_text() const;

    // qrv::WindowState
    std::int32_t lamp_color() const override { return m_lamp_color; }
    void set_lamp_color(std::int32_t color) override;
    int port_index() const override;
    void set_port_index(int index) override;
    int baud_index() const override;
    void set_baud_index(int index) override;
    std::string baud_entry(int index) const override;
    void set_lists_enabled(bool enabled) override;
    void set_port_caption(const std::string& caption) override;
    void set_port_button_enabled(bool enabled) override;
    std::string old_id_text() const override;
    void set_old_id_text(const std::string& text) override;
    std::string new_id_text() const override;
    void set_new_id_text(const std::string& text) override;
    void set_log_text(const std::string& text) override;
    void append_log_text(const std::string& text) override;

    HWND Shape_uart = nullptr;
    HWND Command_uart = nullptr;
    HWND Label3 = nullptr;
    HWND Combo_uart = nullptr;
    HWND Label1 = nullptr;
    HWND Combo_baud = nullptr;
    HWND Label5 = nullptr;
    HWND Label6 = nullptr;
    HWND Label7 = nullptr;
    HWND Label4 = nullptr;
    HWND Text_old = nullptr;
    HWND Label2 = nullptr;
    HWND Text_new = nullptr;
    HWND Command2 = nullptr;
    HWND log_box_name = nullptr; // unseen: names the log box for a screen reader
    HWND Text_log = nullptr;

private:
    struct Fonts;
    static LRESULT CALLBACK window_proc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);
    LRESULT handle(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);
    void on_command(HWND control, WORD code);
    bool on_key(const MSG& msg);
    void create_controls();
    void lay_out(UINT dpi);
    void draw_lamp(const DRAWITEMSTRUCT& item) const;
    void set_busy(bool busy);
    void set_box_text(HWND box, const std::string& text);
    void show_log_end();

    std::string m_tool_folder;
    std::unique_ptr<qrv::MessageSink> m_own_messages;
    std::unique_ptr<qrv::Clock> m_own_clock;
    std::unique_ptr<qrv::SerialApi> m_own_serial;
    qrv::MessageSink& m_messages;
    qrv::Clock& m_clock;
    qrv::SerialApi& m_serial;
    std::unique_ptr<qrv::Clock> m_window_clock;
    std::unique_ptr<FormController> m_controller;
    std::unique_ptr<Fonts> m_fonts;
    HWND m_hwnd = nullptr;
    HWND m_focus = nullptr; // the control to give the focus back to
    std::int32_t m_lamp_color = 0;
    bool m_busy = false; // a change waits for its reply
};
