#include "form_controller.h"

#include "port_control.h"
#include "start_up.h"

#include <utility>

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

namespace {

// Takes a message instead of showing it: whether one came.
class HeldMessage : public qrv::MessageSink {
public:
    void show_message(const std::string&) override { came = true; }
    bool came = false;
};

std::size_t box_index(qrv::IdBox box)
{
    return box == qrv::IdBox::old_id ? 0 : 1;
}

} // namespace

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
    // A press during the wait returns at once; the attempt's own press goes on.
    if (m_change.running() || m_change.session_ended())
        return;
    for (const qrv::IdBox box : {qrv::IdBox::old_id, qrv::IdBox::new_id})
        if (std::exchange(m_judge_after[box_index(box)], false))
            qrv::check_id_box(m_view, m_messages, box);
}

void FormController::on_old_id_changed()
{
    on_id_changed(qrv::IdBox::old_id);
}

void FormController::on_new_id_changed()
{
    on_id_changed(qrv::IdBox::new_id);
}

void FormController::on_id_changed(qrv::IdBox box)
{
    const Running running(*this);
    if (!m_change.running()) {
        qrv::apply_id_change_rule(m_view, m_messages, box);
        return;
    }
    // A message now would hold the verdict and its record up behind it.
    HeldMessage held;
    qrv::apply_id_change_rule(m_view, held, box);
    m_judge_after[box_index(box)] = m_judge_after[box_index(box)] || held.came;
}

void FormController::on_port_check()
{
    if (m_handlers_running > 0 || m_change.session_ended())
        return;
    const Running running(*this);
    qrv::close_port_if_gone(m_view, m_serial, m_messages, m_choice);
}

bool FormController::close_requested()
{
    m_close_pending = m_handlers_running > 0;
    return !m_close_pending;
}

void FormController::session_ending()
{
    m_change.file_now();
}

void FormController::end_session()
{
    m_change.end_session();
}
