#include "serial_ports.h"

namespace qrv {

namespace {

bool in_range(int port)
{
    return port >= first_port && port <= last_port;
}

} // namespace

SerialPorts::~SerialPorts() = default;

int SerialPorts::find(int port, SerialDevice*& device) const
{
    const auto it = in_range(port) ? m_ports.find(port) : m_ports.end();
    if (it == m_ports.end())
        return sio_bad_port;
    device = it->second.get();
    return device->is_open() ? sio_ok : sio_port_gone;
}

int SerialPorts::sio_open(int port)
{
    return sio_open_device(port, device_path(port));
}

int SerialPorts::sio_open_device(int port, const std::string& device)
{
    if (!in_range(port))
        return sio_bad_port;
    if (m_ports.count(port) != 0)
        return sio_already_open;
    int status = sio_open_failed;
    auto opened = open_device(device, status);
    if (!opened)
        return status;
    m_ports.emplace(port, std::move(opened));
    return sio_ok;
}

int SerialPorts::sio_baud(int port, std::int32_t baud)
{
    SerialDevice* device = nullptr;
    if (const int status = find(port, device); status != sio_ok)
        return status;
    return baud > 0 ? device->set_baud(baud) : sio_bad_baud;
}

int SerialPorts::sio_close(int port)
{
    return m_ports.erase(port) != 0 ? sio_ok : sio_bad_port;
}

int SerialPorts::sio_write(int port, const std::uint8_t* buf, int len)
{
    SerialDevice* device = nullptr;
    if (const int status = find(port, device); status == sio_bad_port)
        return status;
    if (!buf || len < 0)
        return sio_bad_arg;
    if (len == 0)
        return sio_ok;
    return device->is_open() ? device->write(buf, len) : sio_port_gone;
}

int SerialPorts::sio_iqueue(int port)
{
    SerialDevice* device = nullptr;
    const int status = find(port, device);
    return status == sio_ok ? device->queued() : status;
}

int SerialPorts::sio_read(int port, std::uint8_t* buf, int len)
{
    SerialDevice* device = nullptr;
    if (const int status = find(port, device); status == sio_bad_port)
        return status;
    if (!buf || len < 0)
        return sio_bad_arg;
    return device->is_open() ? device->read(buf, len) : sio_port_gone;
}

int SerialPorts::sio_flush(int port)
{
    SerialDevice* device = nullptr;
    const int status = find(port, device);
    return status == sio_ok ? device->flush() : status;
}

int SerialPorts::sio_wait_input(int port, int ms)
{
    SerialDevice* device = nullptr;
    const int status = find(port, device);
    return status == sio_ok ? device->wait_input(ms) : status;
}

} // namespace qrv
