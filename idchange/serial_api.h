// The serial library as the port button and the change command see it.
// Ports are numbered as the window numbers them (entry "9" is port 9).
#pragma once

#include <cstdint>
#include <string>

namespace qrv {

// The port numbers the serial library takes: 1..max_port_number.
inline constexpr int max_port_number = 255;
inline constexpr bool is_port_number(int port)
{
    return port >= 1 && port <= max_port_number;
}

// Status codes. 0 is success; every failure is negative.
enum SioStatus : int {
    sio_ok = 0,
    sio_bad_port = -1,    // number out of range, or the port is not open here
    sio_open_failed = -2, // refused for a reason none of the statuses below names
    sio_already_open = -3,
    sio_bad_baud = -4, // speed refused by the driver
    sio_write_failed = -5,
    sio_read_failed = -6,
    sio_bad_arg = -7, // null buffer or negative length
    // The device has gone (adapter pulled, line hung up): the port is shut,
    // and every call on it but sio_close fails so until it is closed.
    sio_port_gone = -8,
    // Why an open failed, where the system says it: nothing at that name (a
    // link to a device that is not there too), held by another opener (in
    // this or another program), not allowed to this user, and something
    // there that is no serial port (a folder, a plain file).
    sio_no_device = -9,
    sio_port_busy = -10,
    sio_no_access = -11,
    sio_not_a_port = -12,
};

class SerialApi {
public:
    virtual ~SerialApi() = default;

    // Opens the port for reading and writing at 8 data bits, no parity,
    // 1 stop bit, no flow control, and locks it against other openers.
    virtual int sio_open(int port) = 0;
    // The same for a device named by its path ("/dev/ttyUSB0", "COM12"); the
    // number then stands for it in every other call.
    virtual int sio_open_device(int port, const std::string& device) = 0;
    // Sets the speed of an open port, in bits per second.
    virtual int sio_baud(int port, std::int32_t baud) = 0;
    // Closes the port; the number may be opened again afterwards.
    virtual int sio_close(int port) = 0;
    // Sends all len bytes or fails; waits about a second at most.
    virtual int sio_write(int port, const std::uint8_t* buf, int len) = 0;
    // Bytes received and not yet read (>= 0), or a failure status.
    virtual int sio_iqueue(int port) = 0;
    // Copies at most len waiting bytes into buf without blocking and takes
    // them out of the queue; returns the number copied (>= 0) or a failure.
    virtual int sio_read(int port, std::uint8_t* buf, int len) = 0;
    // Discards every byte waiting in the input queue.
    virtual int sio_flush(int port) = 0;
    // Sleeps until a byte is waiting or ms have passed; returns the bytes
    // waiting (>= 0), or a failure.
    virtual int sio_wait_input(int port, int ms) = 0;

    // What a failure is said with: the device a port number has open, or the
    // one its last open tried, else the one it stands for (as a person
    // writes it: "COM5", a path); and the system's words for why the last
    // call that failed on this object did (empty when the system gave none).
    virtual std::string sio_device(int port) const = 0;
    virtual std::string sio_last_error() const = 0;
};

} // namespace qrv
