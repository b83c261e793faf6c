#include "win32_serial.h"

#include "windows_text.h"

#include <algorithm>
#include <cctype>
#include <climits>
#include <vector>

namespace qrv {

namespace {

// No wait is ever this long (it takes an int); marks the driver's read
// time-outs as not set yet.
constexpr DWORD wait_unset = MAXDWORD;

// Windows' serial drivers admit one opener, but Wine's do not: a named object
// per device keeps a second opener out there too. Named after the device's
// path, so that "COM12" and "\\.\COM12" meet at the same lock.
HANDLE take_lock(const std::string& device_path)
{
    std::string name = "Global\\qrv-serial-";
    for (char c : device_path)
        name += c == '\\' ? '/' : char(std::toupper(static_cast<unsigned char>(c)));
    HANDLE lock = CreateMutexW(nullptr, FALSE, wide(name).c_str());
    if (lock && GetLastError() == ERROR_ALREADY_EXISTS) {
        CloseHandle(lock);
        return nullptr;
    }
    return lock;
}

// What names a device for CreateFile, as in \\.\COM12.
const std::string device_prefix = "\\\\.\\";

std::string without_device_prefix(const std::string& name)
{
    return name.compare(0, device_prefix.size(), device_prefix) == 0
               ? name.substr(device_prefix.size())
               : name;
}

// Why CreateFile refused a port. Windows' serial drivers answer a second
// opener with access denied: no user is kept from a COM port by its rights.
int open_status(DWORD error)
{
    switch (error) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_BAD_PATHNAME:
    case ERROR_INVALID_NAME:
        return sio_no_device;
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
        return sio_port_busy;
    default:
        return sio_open_failed;
    }
}

int clamp_count(std::size_t n)
{
    return int(std::min<std::size_t>(n, INT_MAX));
}

class Win32Device final : public SerialDevice {
public:
    Win32Device(HANDLE handle, HANDLE lock) : m_handle(handle), m_lock(lock) {}
    ~Win32Device() override { shut(); }
    Win32Device(const Win32Device&) = delete;
    Win32Device& operator=(const Win32Device&) = delete;

    bool is_open() const override { return m_handle != INVALID_HANDLE_VALUE; }
    int set_baud(std::int32_t baud) override;
    int write(const std::uint8_t* buf, int len) override;
    int queued() override;
    int read(std::uint8_t* buf, int len) override;
    int flush() override;
    int wait_input(int ms) override;
    std::string error_text() const override { return system_message(m_error); }

    // 8N1 without flow control, and reads that return at once.
    bool set_line();

private:
    void shut()
    {
        if (is_open())
            CloseHandle(m_handle);
        if (m_lock)
            CloseHandle(m_lock);
        m_handle = INVALID_HANDLE_VALUE;
        m_lock = nullptr;
        m_held.clear();
    }

    // Bytes waiting in the driver; also clears the line's error flags. A
    // pulled adapter fails this, as does a hung-up pseudo-terminal under Wine,
    // where reads still succeed with nothing: false then, and the port shut.
    bool driver_queue(DWORD& queued)
    {
        DWORD errors = 0;
        COMSTAT stat{};
        if (is_open() && ClearCommError(m_handle, &errors, &stat)) {
            queued = stat.cbInQue;
            return true;
        }
        if (is_open())
            m_error = GetLastError();
        shut();
        return false;
    }

    // After a failed call: shuts the port when its device has gone, and
    // says so; else the call's own failure, why kept as error.
    int failed(int status, DWORD error)
    {
        m_error = error;
        DWORD queued = 0;
        return driver_queue(queued) ? status : sio_port_gone;
    }
    int failed(int status) { return failed(status, GetLastError()); }

    // ms 0: a read returns at once with what the driver holds. Otherwise a
    // read returns as soon as a byte is there, or with nothing after ms; the
    // driver sleeps in between.
    bool set_wait(DWORD ms)
    {
        if (ms == m_wait_ms)
            return true;
        COMMTIMEOUTS t{};
        t.ReadIntervalTimeout = MAXDWORD;
        t.ReadTotalTimeoutMultiplier = ms > 0 ? MAXDWORD : 0;
        t.ReadTotalTimeoutConstant = ms;
        t.WriteTotalTimeoutConstant = write_timeout_ms;
        if (!SetCommTimeouts(m_handle, &t))
            return false;
        m_wait_ms = ms;
        return true;
    }

    HANDLE m_handle;
    HANDLE m_lock;
    DWORD m_error = ERROR_SUCCESS;
    // Bytes a wait took from the driver that read has not handed out yet.
    std::vector<std::uint8_t> m_held;
    DWORD m_wait_ms = wait_unset;
};

bool Win32Device::set_line()
{
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    if (!GetCommState(m_handle, &dcb))
        return false;
    dcb.fBinary = TRUE;
    dcb.fParity = FALSE;
    dcb.ByteSize = 8;
    dcb.Parity = NOPARITY;
    dcb.StopBits = ONESTOPBIT;
    dcb.fOutxCtsFlow = FALSE;
    dcb.fOutxDsrFlow = FALSE;
    dcb.fDsrSensitivity = FALSE;
    dcb.fOutX = FALSE;
    dcb.fInX = FALSE;
    dcb.fTXContinueOnXoff = TRUE;
    dcb.fErrorChar = FALSE;
    dcb.fNull = FALSE;
    dcb.fAbortOnError = FALSE;
    // Raised and left alone, as opening a port on Linux leaves them: some
    // RS-485 converters draw their power from these lines.
    dcb.fDtrControl = DTR_CONTROL_ENABLE;
    dcb.fRtsControl = RTS_CONTROL_ENABLE;
    return SetCommState(m_handle, &dcb) && set_wait(0);
}

int Win32Device::set_baud(std::int32_t baud)
{
    DCB old{};
    old.DCBlength = sizeof old;
    if (!GetCommState(m_handle, &old))
        return failed(sio_bad_baud);
    DCB dcb = old;
    dcb.BaudRate = DWORD(baud);
    DCB now{};
    now.DCBlength = sizeof now;
    if (SetCommState(m_handle, &dcb) && GetCommState(m_handle, &now) &&
        now.BaudRate == dcb.BaudRate)
        return sio_ok;
    // A driver may take a speed it cannot make and run at another (Wine does),
    // where the device would hear only noise: back to the old speed.
    SetCommState(m_handle, &old);
    return failed(sio_bad_baud, ERROR_NOT_SUPPORTED);
}

int Win32Device::write(const std::uint8_t* buf, int len)
{
    // The driver gives up after the write time-out set with the read ones.
    DWORD sent = 0;
    const bool written = WriteFile(m_handle, buf, DWORD(len), &sent, nullptr);
    if (written && sent == DWORD(len))
        return sio_ok;
    // Written in part: nobody took the rest within the time-out.
    if (failed(sio_write_failed, written ? ERROR_TIMEOUT : GetLastError()) == sio_port_gone)
        return sio_port_gone;
    // Drop the rest: half a message must not go out ahead of the next one.
    PurgeComm(m_handle, PURGE_TXABORT | PURGE_TXCLEAR);
    return sio_write_failed;
}

int Win32Device::queued()
{
    DWORD queued = 0;
    if (!driver_queue(queued))
        return sio_port_gone;
    return clamp_count(m_held.size() + queued);
}

int Win32Device::read(std::uint8_t* buf, int len)
{
    DWORD queued = 0;
    if (!driver_queue(queued))
        return sio_port_gone;
    const std::size_t from_held = std::min(m_held.size(), std::size_t(len));
    std::copy_n(m_held.begin(), from_held, buf);
    m_held.erase(m_held.begin(), m_held.begin() + std::ptrdiff_t(from_held));
    // Only bytes the driver counted, so the read returns at once whatever
    // time-outs are set.
    const DWORD want = std::min(DWORD(len - int(from_held)), queued);
    DWORD got = 0;
    if (want > 0 && !ReadFile(m_handle, buf + from_held, want, &got, nullptr))
        return failed(sio_read_failed);
    return clamp_count(from_held + got);
}

int Win32Device::flush()
{
    const bool purged = PurgeComm(m_handle, PURGE_RXABORT | PURGE_RXCLEAR);
    m_held.clear();
    // Wine purges a hung-up pseudo-terminal without complaint: ask the driver.
    return failed(purged ? sio_ok : sio_read_failed);
}

int Win32Device::wait_input(int ms)
{
    DWORD queued = 0;
    if (!driver_queue(queued))
        return sio_port_gone;
    if (m_held.empty() && queued == 0 && ms > 0) {
        // One byte: the driver returns it the moment it comes. It is kept
        // here, so the queue's count and the next read include it. (Wine
        // spins until ms are up when the line hangs up during the wait; the
        // check after it still sees the device gone.)
        std::uint8_t byte = 0;
        DWORD got = 0;
        if (!set_wait(DWORD(ms)) || !ReadFile(m_handle, &byte, 1, &got, nullptr))
            return failed(sio_read_failed);
        if (got == 1)
            m_held.push_back(byte);
        if (!driver_queue(queued))
            return sio_port_gone;
    }
    return clamp_count(m_held.size() + queued);
}

} // namespace

std::string win32_device_path(const std::string& name)
{
    const std::string bare = without_device_prefix(name);
    const auto is_digit = [](char c) { return std::isdigit(static_cast<unsigned char>(c)) != 0; };
    if (bare.size() > 3 && std::all_of(bare.begin() + 3, bare.end(), is_digit) &&
        std::equal(bare.begin(), bare.begin() + 3, "COM",
                   [](char a, char b) { return std::toupper(static_cast<unsigned char>(a)) == b; }))
        return device_prefix + "COM" + bare.substr(3);
    return name;
}

std::string Win32Serial::device_path(int port) const
{
    return is_port_number(port) ? win32_device_path("COM" + std::to_string(port)) : std::string();
}

std::string Win32Serial::shown(const std::string& path) const
{
    return without_device_prefix(path);
}

std::unique_ptr<SerialDevice> Win32Serial::open_device(const std::string& device, int& status,
                                                       std::string& error)
{
    const std::string path = win32_device_path(device);
    HANDLE lock = take_lock(path);
    if (!lock) {
        // What Windows itself says of a port another opener holds.
        status = sio_port_busy;
        error = system_message(ERROR_ACCESS_DENIED);
        return nullptr;
    }
    HANDLE handle = CreateFileW(wide(path).c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                OPEN_EXISTING, 0, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        const DWORD why = GetLastError();
        status = open_status(why);
        error = system_message(why);
        CloseHandle(lock);
        return nullptr;
    }
    // Set on the open device so a refusal shows here, not at the first write.
    auto opened = std::make_unique<Win32Device>(handle, lock);
    if (!opened->set_line()) {
        // Whatever takes no line settings is no serial port (NUL, a file).
        status = sio_not_a_port;
        error = system_message(GetLastError());
        return nullptr;
    }
    status = sio_ok;
    return opened;
}

} // namespace qrv
