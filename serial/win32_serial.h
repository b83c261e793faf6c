// Serial ports for the tool on Windows, on the Win32 API alone (no Qt): the
// shared plumbing of serial_ports.h over a COM port's handle. Reads never
// block: a read takes what the driver holds, and only the wait for input
// sleeps, in the driver, until a byte comes or its time is up.
#pragma once

#include "serial_ports.h"

namespace qrv {

// A device name as CreateFile takes it: "COM12", "com12" and "\\.\com12" all
// become "\\.\COM12", the one form that reaches COM10 and above; any other
// name is kept as given.
std::string win32_device_path(const std::string& name);

class Win32Serial final : public SerialPorts {
public:
    // "\\.\COM<port>".
    std::string device_path(int port) const override;

protected:
    // "COM12", not "\\.\COM12".
    std::string shown(const std::string& path) const override;
    std::unique_ptr<SerialDevice> open_device(const std::string& device, int& status,
                                              std::string& error) override;
};

} // namespace qrv
