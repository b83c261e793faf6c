// Serial ports for the tool, on Qt Serial Port.
//
// Ownership: QtSerial owns every port it opens; destroying it closes them
// all. Buffers passed in stay the caller's; nothing is kept after a call.
// Use one QtSerial from one thread.
//
// Every call takes a port number 1..255. A number out of range, or one not
// opened by this object, gives sio_bad_port and changes nothing. Other
// failures are listed with each call in serial_api.h and below.
//
// No event loop is needed: each call that looks at incoming data first
// takes in what the system holds for the port.
//
// When reading or writing fails on an open port (adapter pulled, other end
// of a pseudo-terminal closed), the port is shut at once, so the device and
// its lock are free again. Its number stays open here, and every call on it
// but sio_close fails with sio_port_gone.
#pragma once

#include "serial_api.h"

#include <map>
#include <memory>
#include <string>

class QSerialPort;

namespace qrv {

// The device opened for a port number: on Windows "COM<port>"; elsewhere
// "<tool_folder>/ports/COM<port>" when that entry exists (usually a link to
// the real device), else "/dev/ttyS<port-1>". Empty for a number out of range.
std::string port_device_path(const std::string& tool_folder, int port);

class QtSerial final : public SerialApi {
public:
    // tool_folder: the folder holding the executable and its "ports" folder.
    explicit QtSerial(std::string tool_folder);
    ~QtSerial() override;
    QtSerial(const QtSerial&) = delete;
    QtSerial& operator=(const QtSerial&) = delete;

    // sio_already_open when this object has the number open; sio_open_failed
    // when the device is missing, not accessible, locked by another opener
    // (in this or another program), or refuses 8N1 without flow control.
    int sio_open(int port) override;
    // sio_bad_baud for baud <= 0 or a speed the driver refuses.
    int sio_baud(int port, std::int32_t baud) override;
    int sio_close(int port) override;
    // sio_bad_arg for a null buf or len < 0; len 0 succeeds at once.
    // sio_write_failed when not all went out within about a second; what was
    // left unsent is dropped so it cannot trail into a later message.
    int sio_write(int port, const std::uint8_t* buf, int len) override;
    int sio_iqueue(int port) override;
    // sio_bad_arg for a null buf or len < 0.
    int sio_read(int port, std::uint8_t* buf, int len) override;
    int sio_flush(int port) override;
    int sio_wait_input(int port, int ms) override;

    // sio_open on a device named by its path rather than by the port map;
    // the number then stands for it in every other call.
    int open_device(int port, const std::string& device_path);

private:
    QSerialPort* find(int port) const;
    // Takes in every byte the system holds for the port. False when the
    // device has gone; the port is then shut.
    static bool pull_in(QSerialPort& dev);

    std::string m_tool_folder;
    std::map<int, std::unique_ptr<QSerialPort>> m_ports;
};

} // namespace qrv
