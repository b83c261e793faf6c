// What both serial back ends share, written once: the port numbers 1..255,
// the table of open ports, and the checks every call makes. A back end
// supplies the device a number stands for and the open device itself.
//
// Ownership: the object owns every port it opens; destroying it closes them
// all. Buffers passed in stay the caller's; nothing is kept after a call.
// Use one object from one thread.
//
// A number out of range, or one not opened by this object, gives
// sio_bad_port and changes nothing. When the device of an open port goes
// away (adapter pulled, line hung up), the back end shuts it at once, so the
// device and its lock are free again; its number stays open here, and every
// call on it but sio_close fails with sio_port_gone until it is closed.
#pragma once

#include "serial_api.h"

#include <map>
#include <memory>
#include <string>
#include <utility>

namespace qrv {

// A write that does not go out within this is given up, and its rest dropped.
inline constexpr int write_timeout_ms = 1000;

// One open device as a back end keeps it. Each call returns sio_port_gone,
// and shuts the device, when it finds that the device has gone.
class SerialDevice {
public:
    virtual ~SerialDevice() = default;
    // False once the device has gone and is shut.
    virtual bool is_open() const = 0;
    // Refused (sio_bad_baud) where the driver would not run at baud; the
    // line then keeps its old speed.
    virtual int set_baud(std::int32_t baud) = 0;
    // len > 0; all of it, or sio_write_failed after write_timeout_ms with
    // what was left dropped.
    virtual int write(const std::uint8_t* buf, int len) = 0;
    virtual int queued() = 0;
    virtual int read(std::uint8_t* buf, int len) = 0;
    virtual int flush() = 0;
    virtual int wait_input(int ms) = 0;
    // The system's words for the device's last failure.
    virtual std::string error_text() const = 0;
};

class SerialPorts : public SerialApi {
public:
    SerialPorts() = default;
    ~SerialPorts() override;
    SerialPorts(const SerialPorts&) = delete;
    SerialPorts& operator=(const SerialPorts&) = delete;

    // sio_already_open when this object has the number open; sio_no_device,
    // sio_not_a_port, sio_port_busy (held by another opener, in this or
    // another program) or sio_no_access as the system says why it cannot be
    // opened, and sio_open_failed for the rest (8N1 without flow control
    // refused, say).
    int sio_open(int port) final;
    int sio_open_device(int port, const std::string& device) final;
    // sio_bad_baud for baud <= 0 or a speed the driver refuses.
    int sio_baud(int port, std::int32_t baud) final;
    int sio_close(int port) final;
    // sio_bad_arg for a null buf or len < 0; len 0 succeeds at once.
    int sio_write(int port, const std::uint8_t* buf, int len) final;
    int sio_iqueue(int port) final;
    // sio_bad_arg for a null buf or len < 0.
    int sio_read(int port, std::uint8_t* buf, int len) final;
    int sio_flush(int port) final;
    int sio_wait_input(int port, int ms) final;
    std::string sio_device(int port) const final;
    std::string sio_last_error() const final { return m_last_error; }

    // The device a port number stands for; empty for one out of range.
    virtual std::string device_path(int port) const = 0;

protected:
    // A device's path as a person writes it.
    virtual std::string shown(const std::string& path) const { return path; }

    // Opens the device for reading and writing at 8N1 without flow control,
    // locked against other openers; nothing, with why in status and the
    // system's words in error, when it cannot.
    virtual std::unique_ptr<SerialDevice> open_device(const std::string& device, int& status,
                                                      std::string& error) = 0;

private:
    struct Open {
        std::unique_ptr<SerialDevice> device;
        std::string path;
    };
    // The open port's device, or why there is none to call.
    int find(int port, SerialDevice*& device) const;
    // A call's status; a failure keeps the device's words for it.
    int noted(int status, const SerialDevice& device);

    std::map<int, Open> m_ports;
    // The last open that failed: its number and the device it tried.
    std::pair<int, std::string> m_tried;
    std::string m_last_error;
};

} // namespace qrv
