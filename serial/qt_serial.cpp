#include "qt_serial.h"

#include "tool_folder.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QSerialPort>
#include <QString>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

namespace qrv {

namespace {

// Each zero wait takes in one batch from the system; the bound keeps a line
// that never stops talking from holding a call forever.
constexpr int max_pulls = 64;

int count(qint64 n)
{
    return static_cast<int>(std::min<qint64>(n, INT_MAX));
}

class QtSerialDevice final : public SerialDevice {
public:
    QtSerialDevice(std::unique_ptr<QSerialPort> port, std::string path)
        : m_port(std::move(port)), m_path(std::move(path))
    {
    }

    bool is_open() const override { return m_port->isOpen(); }

    int set_baud(std::int32_t baud) override
    {
        m_port->clearError();
        if (!m_port->setBaudRate(baud))
            return gone_or(sio_bad_baud);
        return sio_ok;
    }

    int write(const std::uint8_t* buf, int len) override
    {
        m_error.clear();
        QSerialPort& port = *m_port;
        port.clearError();
        const QDeadlineTimer deadline(write_timeout_ms);
        if (port.write(reinterpret_cast<const char*>(buf), len) == len) {
            // Each wait hands one batch to the driver; go on until all is out.
            while (port.bytesToWrite() > 0 && !deadline.hasExpired() &&
                   port.waitForBytesWritten(static_cast<int>(deadline.remainingTime()))) {
            }
        }
        if (port.isOpen() && port.bytesToWrite() == 0 && port.error() == QSerialPort::NoError)
            return sio_ok;
        if (shut_if_gone())
            return sio_port_gone;
        if (m_error.empty())
            m_error = std::strerror(ETIMEDOUT); // nobody took the bytes
        // Drop the rest: half a message must not go out ahead of the next one.
        port.clear(QSerialPort::Output);
        return sio_write_failed;
    }

    int queued() override { return pull_in() ? count(m_port->bytesAvailable()) : sio_port_gone; }

    int read(std::uint8_t* buf, int len) override
    {
        if (!pull_in())
            return sio_port_gone;
        const qint64 n = m_port->read(reinterpret_cast<char*>(buf), len);
        return n >= 0 ? static_cast<int>(n) : gone_or(sio_read_failed);
    }

    int flush() override
    {
        if (!pull_in())
            return sio_port_gone;
        m_port->readAll();
        // Also drops what reached the driver since the pull.
        m_port->clear(QSerialPort::Input);
        return gone_or(sio_ok);
    }

    std::string error_text() const override { return m_error; }

    int wait_input(int ms) override
    {
        if (!pull_in())
            return sio_port_gone;
        // Sleeps in the system until the line has something for us.
        if (m_port->bytesAvailable() == 0 && ms > 0 && !m_port->waitForReadyRead(ms) &&
            shut_if_gone())
            return sio_port_gone;
        return count(m_port->bytesAvailable());
    }

private:
    // A device that went away is shut at once so its lock and file are free
    // for when it comes back. Qt says ResourceError for a pulled adapter,
    // but ReadError or WriteError for a hung-up pseudo-terminal; on a
    // serial line none of them clears by itself.
    bool shut_if_gone()
    {
        switch (m_port->error()) {
        case QSerialPort::NoError:
            break;
        case QSerialPort::ResourceError:
        case QSerialPort::ReadError:
        case QSerialPort::WriteError:
            m_port->close();
            m_error = gone_reason();
            break;
        default:
            m_error = m_port->errorString().toStdString();
            break;
        }
        return !m_port->isOpen();
    }

    // Qt words a lost device after errno, which may have moved on since;
    // the device node says what became of it: removed, or still there but
    // hung up.
    std::string gone_reason() const
    {
        struct stat st {};
        return std::strerror(::stat(m_path.c_str(), &st) != 0 ? errno : EIO);
    }

    int gone_or(int status) { return shut_if_gone() ? sio_port_gone : status; }

    // Takes in every byte the system holds for the port. False when the
    // device has gone; the port is then shut.
    bool pull_in()
    {
        if (!m_port->isOpen())
            return false;
        // Errors stay set until cleared; only this call's count. A zero wait
        // with nothing new reports a timeout, which is no fault here.
        m_port->clearError();
        for (int i = 0; i < max_pulls && m_port->waitForReadyRead(0); ++i) {
        }
        return !shut_if_gone();
    }

    std::unique_ptr<QSerialPort> m_port;
    std::string m_path;
    std::string m_error;
};

// Why a device could not be opened, said by errno.
std::unique_ptr<SerialDevice> refused(int errno_value, int& status, std::string& error)
{
    switch (errno_value) {
    case ENOENT:
    case ENOTDIR:
    case ENODEV:
    case ENXIO:
        status = sio_no_device;
        break;
    case EACCES:
    case EPERM:
        status = sio_no_access;
        break;
    case EBUSY:
        status = sio_port_busy;
        break;
    case EISDIR:
    case ENOTTY:
        status = sio_not_a_port;
        break;
    default:
        status = sio_open_failed;
        break;
    }
    error = std::strerror(errno_value);
    return nullptr;
}

// Qt says PermissionError both for a device this user may not open and for
// one another program holds (its lock file, or the line's exclusive mode):
// the device's own permissions tell the two apart.
int open_status(QSerialPort::SerialPortError qt_error, const char* real)
{
    switch (qt_error) {
    case QSerialPort::DeviceNotFoundError:
        return sio_no_device;
    case QSerialPort::PermissionError:
        return ::access(real, R_OK | W_OK) != 0 && errno == EACCES ? sio_no_access : sio_port_busy;
    default:
        return sio_open_failed;
    }
}

} // namespace

std::string QtSerial::device_path(int port) const
{
    if (!is_port_number(port))
        return {};
    namespace fs = std::filesystem;
    const fs::path link = port_link(m_tool_folder, port);
    std::error_code ec;
    // symlink_status: a link whose device is missing must still win, so the
    // open fails instead of quietly reaching some other port.
    if (fs::exists(fs::symlink_status(link, ec)))
        return link.string();
    return "/dev/ttyS" + std::to_string(port - 1);
}

std::unique_ptr<SerialDevice> QtSerial::open_device(const std::string& device, int& status,
                                                    std::string& error)
{
    // Qt names its lock file after the path it opens, so open the real
    // device: two links to one adapter then meet at the same lock. The path
    // is taken as the system's bytes: a folder's name need not be UTF-8.
    char real[PATH_MAX];
    struct stat st {};
    if (!::realpath(device.c_str(), real) || ::stat(real, &st) != 0)
        return refused(errno, status, error);
    if (!S_ISCHR(st.st_mode))
        return refused(S_ISDIR(st.st_mode) ? EISDIR : ENOTTY, status, error);
    auto port = std::make_unique<QSerialPort>();
    port->setPortName(QFile::decodeName(real));
    // Set on the open device so a refusal shows here, not at the first write.
    if (!port->open(QIODevice::ReadWrite) || !port->setDataBits(QSerialPort::Data8) ||
        !port->setParity(QSerialPort::NoParity) || !port->setStopBits(QSerialPort::OneStop) ||
        !port->setFlowControl(QSerialPort::NoFlowControl)) {
        status = open_status(port->error(), real);
        error = port->errorString().toStdString();
        return nullptr;
    }
    status = sio_ok;
    return std::make_unique<QtSerialDevice>(std::move(port), real);
}

} // namespace qrv
