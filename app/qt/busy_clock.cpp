#include "busy_clock.h"

#include <QCursor>
#include <QPointer>
#include <QWidget>
#include <vector>

namespace {

// The busy pointer over one window for as long as it lives. Only that
// window: a message box shown meanwhile keeps its normal pointer. Controls
// with a pointer of their own (the text boxes' I-beam) take the busy one
// too, and every control gets back what it had.
class BusyPointer {
public:
    explicit BusyPointer(QWidget& window)
    {
        save(&window);
        for (QWidget* child : window.findChildren<QWidget*>()) {
            if (child->window() == &window && child->testAttribute(Qt::WA_SetCursor))
                save(child);
        }
        for (const auto& saved : m_saved)
            saved.widget->setCursor(Qt::WaitCursor);
    }
    ~BusyPointer()
    {
        for (const auto& saved : m_saved) {
            if (!saved.widget)
                continue;
            if (saved.own)
                saved.widget->setCursor(saved.cursor);
            else
                saved.widget->unsetCursor();
        }
    }
    BusyPointer(const BusyPointer&) = delete;
    BusyPointer& operator=(const BusyPointer&) = delete;

private:
    struct Saved {
        QPointer<QWidget> widget; // a control may be gone after the wait's events
        bool own;
        QCursor cursor;
    };
    void save(QWidget* widget)
    {
        m_saved.push_back({widget, widget->testAttribute(Qt::WA_SetCursor), widget->cursor()});
    }

    std::vector<Saved> m_saved;
};

} // namespace

void qrv::BusyClock::wait_handling_events(int ms, const Meanwhile& meanwhile)
{
    const BusyPointer busy(m_window);
    m_base.wait_handling_events(ms, meanwhile);
}
