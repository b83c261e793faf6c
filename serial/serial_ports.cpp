#include "serial_ports.h"

namespace qrv {

SerialPorts::~SerialPorts() = default;

int SerialPorts::find(int port, SerialDevice*& device) const
{
    const auto it = is_port_number(port) ? m_ports.find(port) : m_ports.end();
    if (it == m_ports.end())
        return sio_bad_port;
    device = it->second.device.get();
    return device->is_open() ? sio_ok : sio_port_gone;
}

int SerialPorts::noted(int status, const SerialDevice& device)
{
    if (status < 0)
        m_last_error = device.error_text();
    return status;
}

std::string SerialPorts::sio_device(int port) const
{
    const auto it = m_ports.find(port);
    if (it != m_ports.end())
        return shown(it->second.path);
    return shown(m_tried.first == port ? m_tried.second : device_path(port));
}

int SerialPorts::sio_open(int port)
{
    return sio_open_device(port, device_path(port));
}

int SerialPorts::sio_open_device(int port, const std::string& device)
{
    if (!is_port_number(port))
        return sio_bad_port;
    if (m_ports.count(port) != 0)
        return sio_already_open;
    int status = sio_open_failed;
    auto opened = open_device(device, status, m_last_error);
    if (!opened) {
        m_tried = {port, device};
        return status;
    }
    if (m_tried.first == port)
        m_tried = {};
    m_ports.emplace(port, Open{std::move(opened), device});
    return sio_ok;
}

int SerialPorts::sio_baud(int port, std::int32_t baud)
{
    SerialDevice* device = nullptr;
    if (const int status = find(port, device); status != sio_ok)
        return status;
    return baud > 0 ? noted(device->set_baud(baud), *device) : sio_bad_baud;
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
    return device->is_open() ? noted(device->write(buf, len), *device) : sio_port_gone;
}

int SerialPorts::sio_iqueue(int port)
{
    SerialDevice* device = nullptr;
    const int status = find(port, device);
    return status == sio_ok ? noted(device->queued(), *device) : status;
}

int SerialPorts::sio_read(int port, std::uint8_t* buf, int len)
{
    SerialDevice* device = nullptr;
    if (const int status = find(port, device); status == sio_bad_port)
        return status;
    if (!buf || len < 0)
        return sio_bad_arg;
    return device->is_open() ? noted(device->read(buf, len), *device) : sio_port_gone;
}

int SerialPorts::sio_flush(int port)
{
    SerialDevice* device = nullptr;
    const int status = find(port, device);
    return status == sio_ok ? noted(device->flush(), *device) : status;
}

int SerialPorts::sio_wait_input(int port, int ms)
{
    SerialDevice* device = nullptr;
    const int status = find(port, device);
    return status == sio_ok ? noted(device->wait_input(ms), *device) : status;
}

} // namespace qrv
