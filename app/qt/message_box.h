// Messages of the running program: a modal box with one OK button.
#pragma once

#include "window_state.h"

class QWidget;

namespace qrv {

class MessageBox : public qrv::MessageSink {
public:
    explicit MessageBox(QWidget* parent) : m_parent(parent) {}
    void show_message(const std::string& text) override;

private:
    QWidget* m_parent;
};

} // namespace qrv
