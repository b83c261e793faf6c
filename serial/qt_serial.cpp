#include "qt_serial.h"

#include <QDeadlineTimer>
#include <QFileInfo>
#include <QSerialPort>
#include <QString>
#include <QtGlobal>

#include <climits>
#include <filesystem>
#include <utility>

namespace qrv {

namespace {

constexpr int first_port = 1;
constexpr int last_port = 255;
constexpr int write_timeout_ms = 1000;
// Each zero wait takes in one batch from the system; the bound keeps a line
// that never stops talking from holding a call forever.
constexpr int max_pulls = 64;

bool in_range(int port)
{
    return port >= first_port && port <= last_port;
}

// A device that went away is shut at once so its lock and file are free
// for when it comes back; the number stays taken until sio_close. Qt says
// ResourceError for a pulled adapter, but ReadError or WriteError for a
// hung-up pseudo-terminal; on a serial line none of them clears by itself.
bool shut_if_gone(QSerialPort& dev)
{
    switch (dev.error()) {
    case QSerialPort::ResourceError:
    case QSerialPort::ReadError:
    case QSerialPort::WriteError:
        dev.close();
        break;
    default:
        break;
    }
    return !dev.isOpen();
}

} // namespace

std::string port_device_path(const std::string& tool_folder, int port)
{
    if (!in_range(port))
        return {};
    const std::string name = "COM" + std::to_string(port);
#ifdef Q_OS_WIN
    (void)tool_folder;
    return name;
#else
    namespace fs = std::filesystem;
    const fs::path link = fs::path(tool_folder) / "ports" / name;
    std::error_code ec;
    // symlink_status: a link whose device is missing must still win, so the
    // open fails instead of quietly reaching some other port.
    if (fs::exists(fs::symlink_status(link, ec)))
        return link.string();
    return "/dev/ttyS" + std::to_string(port - 1);
#endif
}

QtSerial::QtSerial(std::string tool_folder) : m_tool_folder(std::move(tool_folder))
{
}

QtSerial::~QtSerial() = default;

QSerialPort* QtSerial::find(int port) const
{
    if (!in_range(port))
        return nullptr;
    const auto it = m_ports.find(port);
    return it == m_ports.end() ? nullptr : it->second.get();
}

bool QtSerial::pull_in(QSerialPort& dev)
{
    if (!dev.isOpen())
        return false;
    // Errors stay set until cleared; only this call's count. A zero wait
    // with nothing new reports a timeout, which is no fault here.
    dev.clearError();
    for (int i = 0; i < max_pulls && dev.waitForReadyRead(0); ++i) {
    }
    return !shut_if_gone(dev);
}

int QtSerial::sio_open(int port)
{
    return open_device(port, port_device_path(m_tool_folder, port));
}

int QtSerial::open_device(int port, const std::string& device_path)
{
    if (!in_range(port))
        return sio_bad_port;
    if (m_ports.count(port) != 0)
        return sio_already_open;

    QString name = QString::fromStdString(device_path);
#ifndef Q_OS_WIN
    // Qt names its lock file after the path it opens, so open the real
    // device: two links to one adapter then meet at the same lock.
    name = QFileInfo(name).canonicalFilePath();
    if (name.isEmpty())
        return sio_open_failed;
#endif
    auto dev = std::make_unique<QSerialPort>();
    dev->setPortName(name);
    if (!dev->open(QIODevice::ReadWrite))
        return sio_open_failed;
    // Set on the open device so a refusal shows here, not at the first write.
    if (!dev->setDataBits(QSerialPort::Data8) || !dev->setParity(QSerialPort::NoParity) ||
        !dev->setStopBits(QSerialPort::OneStop) ||
        !dev->setFlowControl(QSerialPort::NoFlowControl)) {
        dev->close();
        return sio_open_failed;
    }
    m_ports.emplace(port, std::move(dev));
    return sio_ok;
}

int QtSerial::sio_baud(int port, std::int32_t baud)
{
    QSerialPort* dev = find(port);
    if (!dev)
        return sio_bad_port;
    // A closed QSerialPort accepts any speed and only remembers it.
    if (!dev->isOpen())
        return sio_port_gone;
    if (baud <= 0)
        return sio_bad_baud;
    dev->clearError();
    if (!dev->setBaudRate(baud))
        return shut_if_gone(*dev) ? sio_port_gone : sio_bad_baud;
    return sio_ok;
}

int QtSerial::sio_close(int port)
{
    const auto it = in_range(port) ? m_ports.find(port) : m_ports.end();
    if (it == m_ports.end())
        return sio_bad_port;
    it->second->close();
    m_ports.erase(it);
    return sio_ok;
}

int QtSerial::sio_write(int port, const std::uint8_t* buf, int len)
{
    QSerialPort* dev = find(port);
    if (!dev)
        return sio_bad_port;
    if (!buf || len < 0)
        return sio_bad_arg;
    if (len == 0)
        return sio_ok;
    if (!dev->isOpen())
        return sio_port_gone;

    dev->clearError();
    const QDeadlineTimer deadline(write_timeout_ms);
    if (dev->write(reinterpret_cast<const char*>(buf), len) == len) {
        // Each wait hands one batch to the driver; go on until all is out.
        while (dev->bytesToWrite() > 0 && !deadline.hasExpired() &&
               dev->waitForBytesWritten(static_cast<int>(deadline.remainingTime()))) {
        }
    }
    if (dev->isOpen() && dev->bytesToWrite() == 0 && dev->error() == QSerialPort::NoError)
        return sio_ok;
    if (shut_if_gone(*dev))
        return sio_port_gone;
    // Drop the rest: half a message must not go out ahead of the next one.
    dev->clear(QSerialPort::Output);
    return sio_write_failed;
}

int QtSerial::sio_iqueue(int port)
{
    QSerialPort* dev = find(port);
    if (!dev)
        return sio_bad_port;
    if (!pull_in(*dev))
        return sio_port_gone;
    return static_cast<int>(std::min<qint64>(dev->bytesAvailable(), INT_MAX));
}

int QtSerial::sio_read(int port, std::uint8_t* buf, int len)
{
    QSerialPort* dev = find(port);
    if (!dev)
        return sio_bad_port;
    if (!buf || len < 0)
        return sio_bad_arg;
    if (!pull_in(*dev))
        return sio_port_gone;
    const qint64 n = dev->read(reinterpret_cast<char*>(buf), len);
    if (n >= 0)
        return static_cast<int>(n);
    return shut_if_gone(*dev) ? sio_port_gone : sio_read_failed;
}

int QtSerial::sio_flush(int port)
{
    QSerialPort* dev = find(port);
    if (!dev)
        return sio_bad_port;
    if (!pull_in(*dev))
        return sio_port_gone;
    dev->readAll();
    // Also drops what reached the driver since the pull.
    dev->clear(QSerialPort::Input);
    return shut_if_gone(*dev) ? sio_port_gone : sio_ok;
}

int QtSerial::sio_wait_input(int port, int ms)
{
    QSerialPort* dev = find(port);
    if (!dev)
        return sio_bad_port;
    if (!pull_in(*dev))
        return sio_port_gone;
    // Sleeps in the system until the line has something for us.
    if (dev->bytesAvailable() == 0 && ms > 0 && !dev->waitForReadyRead(ms) && shut_if_gone(*dev))
        return sio_port_gone;
    return static_cast<int>(std::min<qint64>(dev->bytesAvailable(), INT_MAX));
}

} // namespace qrv
