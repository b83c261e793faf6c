#include "form_controller.h"

#include "id_rules.h"
#include "port_control.h"
#include "start_up.h"

// Counts a handler for as long as it runs, however it ends; the last one out
// carries out a close that came meanwhile.
class FormController::Running {
public:
    explicit Running(FormController& form) : m_form(form) { ++m_form.m_handlers_running; }
    ~Running()
    {
        if (--m_form.m_handlers_running == 0 && m_form.m_close_pending) {
            m_form.m_close_pending = false;
            m_form.m_close_window();
        }
    }
    Running(const Running&) = delete;
    Running& operator=(const Running&) = delete;

private:
    FormController& m_form;
};

FormController::FormController(qrv::WindowState& view, qrv::SerialApi& serial, qrv::Clock& clock,
                               qrv::MessageSink& messages, std::string tool_folder,
                               std::function<void()> close_window)
    : m_view(view), m_serial(serial), m_messages(messages), m_tool_folder(std::move(tool_folder)),
      m_change(view, serial, clock, messages, m_choice, m_tool_folder),
      m_close_window(std::move(close_window))
{
}

void FormController::on_load()
{
    const Running running(*this);
    m_saved = qrv::Form_Load(m_view, m_tool_folder);
}

void FormController::on_port_clicked()
{
    const Running running(*this);
    // The port an attempt uses stays as it is until its verdict.
    if (m_change.running())
        return;
    qrv::port_button_click(m_view, m_serial, m_messages, m_choice, [this] {
        return qrv::save_port_settings(m_view, m_tool_folder, m_saved);
    });
}

void FormController::on_change_clicked()
{
    const Running running(*this);
    m_change.run();
}

void FormController::on_old_id_changed()
{
    const Running running(*this);
    qrv::apply_id_change_rule(m_view, m_messages, qrv::IdBox::old_id);
}

void FormController::on_new_id_changed()
{
    const Running running(*this);
    qrv::apply_id_change_rule(m_view, m_messages, qrv::IdBox::new_id);
}

bool FormController::close_requested()
{
    m_close_pending = m_handlers_running > 0;
    return !m_close_pending;
}

void FormController::end_session()
{
    m_change.end_session();
}
