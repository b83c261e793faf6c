// Serial ports for the tool on Linux, on Qt Serial Port: the shared
// plumbing of serial_ports.h over QSerialPort. No event loop is needed:
// each call that looks at incoming data first takes in what the system
// holds for the port.
#pragma once

#include "serial_ports.h"

namespace qrv {

class QtSerial final : public SerialPorts {
public:
    // tool_folder: the folder holding the executable and its "ports" folder.
    explicit QtSerial(std::string tool_folder) : m_tool_folder(std::move(tool_folder)) {}

    // "<tool_folder>/ports/COM<port>" when that entry exists (usually a link
    // to the real device), else "/dev/ttyS<port-1>".
    std::string device_path(int port) const override;

protected:
    std::unique_ptr<SerialDevice> open_device(const std::string& device, int& status,
                                              std::string& error) override;

private:
    std::string m_tool_folder;
};

} // namespace qrv
