// What a window works with, the same for the Qt one and the Win32 one: given
// by a test, or made for the running program.
#pragma once

#include "clock.h"
#include "serial_api.h"
#include "window_state.h"

#include <memory>

// Null ones are made for the running program: message boxes, the system
// clock, the serial library.
struct Form1Services {
    qrv::MessageSink* messages = nullptr;
    qrv::Clock* clock = nullptr;
    qrv::SerialApi* serial = nullptr;
};

// The given service, or one made by make and kept in owner.
template <typename T, typename Make> T& given_or_own(T* given, std::unique_ptr<T>& owner, Make make)
{
    if (!given)
        owner = make();
    return given ? *given : *owner;
}
