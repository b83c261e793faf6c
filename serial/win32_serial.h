// Serial ports for the tool on Windows, on the Win32 API alone (no Qt).
//
// Ownership: Win32Serial owns every port it opens; destroying it closes them
// all. Buffers passed in stay the caller's; nothing is kept after a call.
// Use one Win32Serial from one thread.
//
// Every call takes a port number 1..255. A number out of range, or one not
// opened by this object, gives sio_bad_port and changes nothing. Other
// failures are listed with each call in serial_api.h and below.
//
// Reads never block: sio_read takes what the driver holds, and only
// sio_wait_input sleeps, in the driver, until a byte comes or its time is up.
//
// When the driver no longer answers for an open port (adapter pulled, other
// end of a pseudo-terminal closed under Wine), the port is shut at once, so
// the device and its lock are free again. Its number stays open here, and
// every call on it but sio_close fails with sio_port_gone.
#pragma once

#include "serial_api.h"

#include <map>
#include <memory>
#include <string>

namespace qrv {

// The device opened for a port number: "\\.\COM<port>", the one form that
// reaches COM10 and above too. Empty for a number out of range.
std::string win32_port_path(int port);

// A device name as CreateFile takes it: "COM12", "com12" and "\\.\com12" all
// become "\\.\COM12"; any other name is kept as given.
std::string win32_device_path(const std::string& name);

class Win32Serial final : public SerialApi {
public:
    Win32Serial();
    ~Win32Serial() override;
    Win32Serial(const Win32Serial&) = delete;
    Win32Serial& operator=(const Win32Serial&) = delete;

    // sio_already_open when this object has the number open; sio_open_failed
    // when the device is missing, not a serial port, held by another opener
    // (in this or another program), or refuses 8N1 without flow control.
    int sio_open(int port) override;
    // sio_bad_baud for baud <= 0, or a speed the driver refuses or would run
    // at another speed; the line then keeps its old speed.
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

    // sio_open on a device named by the user ("COM12", see
    // win32_device_path); the number then stands for it in every other call.
    int open_device(int port, const std::string& device);

private:
    struct Port;
    Port* find(int port) const;

    std::map<int, std::unique_ptr<Port>> m_ports;
};

} // namespace qrv
