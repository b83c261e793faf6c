// The tool's one window on Qt: its controls, built from the form's table,
// their events handed to the controller, and the window state the core
// reads and writes.
#pragma once

#include "form1_services.h"
#include "form_controller.h"
#include "form_table.h"
#include "lamp.h"

#include <QWidget>
#include <array>
#include <memory>

class QComboBox;
class QLineEdit;
class QPushButton;
class QTextEdit;

class Form1 : public QWidget, public qrv::WindowState {
    Q_OBJECT
public:
    // tool_folder holds parameter.txt, the day logs and ports/.
    explicit Form1(std::string tool_folder, Form1Services services = {});
    ~Form1() override;

    // The session ends, or the program is asked to stop: a change waiting
    // for its reply is finished and filed now, and no message is shown.
    void end_session() { m_controller->end_session(); }

    const qrv::PortSettings& saved_settings() const { return m_controller->saved_settings(); }
    // What the log box shows, with CR LF line ends.
    std::string log_text() const;

    // The controls, by what they are for.
    QWidget* control(qrv::form::Role role) const { return m_controls[qrv::form::index(role)]; }
    Lamp* lamp() const;
    QPushButton* port_button() const;
    QComboBox* port_list() const;
    QComboBox* baud_list() const;
    QLineEdit* old_id_box() const;
    QLineEdit* new_id_box() const;
    QPushButton* change_button() const;
    QTextEdit* log_box() const;

    // qrv::WindowState
    bool is_port_open() const override;
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

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void create_controls();
    QWidget* make_control(const qrv::form::Control& control);
    QTextEdit* make_log_box();
    void connect_handlers();
    void show_log_end();

    std::string m_tool_folder;
    std::unique_ptr<qrv::MessageSink> m_own_messages;
    std::unique_ptr<qrv::Clock> m_own_clock;
    std::unique_ptr<qrv::SerialApi> m_own_serial;
    qrv::MessageSink& m_messages;
    qrv::Clock& m_clock;
    qrv::SerialApi& m_serial;
    std::unique_ptr<qrv::Clock> m_busy_clock;
    std::unique_ptr<FormController> m_controller;
    std::array<QWidget*, qrv::form::index(qrv::form::Role::count)> m_controls{};
};
