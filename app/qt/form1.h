// The tool's one window: its controls, the five handlers, and the window
// state that the core units read and write.
#pragma once

#include "form1_services.h"
#include "form_controller.h"
#include "lamp.h"

#include <QWidget>
#include <memory>

class QComboBox;
class QLabel;
class QLineEdit;
class QTextEdit;
class QPushButton;

class Form1 : public QWidget, public qrv::WindowState {
    Q_OBJECT
public:
    // tool_folder holds parameter.txt, the day logs and ports/.
    explicit Form1(std::string tool_folder, Form1Services services = {});
    ~Form1() override;

    // The session ends, or the program is asked to stop: a change waiting
    // for its reply is finished and filed now.
    void end_session() { m_controller->end_session(); }

    const qrv::PortSettings& saved_settings() const { return m_controller->saved_settings(); }
    const qrv::WindowVars& vars() const { return m_controller->vars(); }
    const std::string& tool_folder() const { return m_tool_folder; }
    // What the log box shows, with CR LF line ends.
    std::string log_text() const;

    // qrv::WindowState
    std::int32_t lamp_color() const override;
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

    Lamp* Shape_uart;
    QPushButton* Command_uart;
    QLabel* Label3;
    QComboBox* Combo_uart;
    QLabel* Label1;
    QComboBox* Combo_baud;
    QLabel* Label5;
    QLabel* Label6;
    QLabel* Label7;
    QLabel* Label4;
    QLineEdit* Text_old;
    QLabel* Label2;
    QLineEdit* Text_new;
    QPushButton* Command2;
    QTextEdit* Text_log;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void create_controls();
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
};
