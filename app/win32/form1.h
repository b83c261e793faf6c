// The tool's one window on the Win32 API: its controls, built from the
// form's table, their messages handed to the controller, and the window
// state the core reads and writes.
#pragma once

#include "form1_services.h"
#include "form_controller.h"
#include "form_table.h"

#include <array>
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

    // The controls, by what they are for.
    HWND control(qrv::form::Role role) const { return m_controls[qrv::form::index(role)]; }
    HWND lamp() const { return control(qrv::form::Role::lamp); }
    HWND port_button() const { return control(qrv::form::Role::port_button); }
    HWND port_list() const { return control(qrv::form::Role::port_list); }
    HWND baud_list() const { return control(qrv::form::Role::baud_list); }
    HWND old_id_box() const { return control(qrv::form::Role::old_id_box); }
    HWND new_id_box() const { return control(qrv::form::Role::new_id_box); }
    HWND change_button() const { return control(qrv::form::Role::change_button); }
    HWND log_box() const { return control(qrv::form::Role::log_box); }

    // qrv::WindowState
    bool is_port_open() const override { return m_port_open; }
    void set_port_open(bool open) override;
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
    std::array<HWND, qrv::form::index(qrv::form::Role::count)> m_controls{};
    HWND m_log_box_name = nullptr; // unseen: names the log box for a screen reader
    bool m_port_open = false;
    bool m_busy = false; // a change waits for its reply
};
