// Messages of the running program: a box with the tool's title and one OK
// button, modal to the window.
#pragma once

#include "window_state.h"

#include <windows.h>

namespace qrv {

class MessageBoxSink : public qrv::MessageSink {
public:
    // owner is read at each message: the window may be made after the sink.
    explicit MessageBoxSink(const HWND& owner) : m_owner(owner) {}
    void show_message(const std::string& text) override;

private:
    const HWND& m_owner;
};

} // namespace qrv
