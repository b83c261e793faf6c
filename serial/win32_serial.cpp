#include "win32_serial.h"

#include "windows_text.h"

#include <algorithm>
#include <cctype>
#include <climits>
#include <vector>

namespace qrv {

namespace {

constexpr int first_port = 1;
constexpr int last_port = 255;
constexpr DWORD write_timeout_ms = 1000;
// No wait is ever this long (it takes an int); marks the driver's read
// time-outs as not set yet.
constexpr DWORD wait_unset = MAXDWORD;

bool in_range(int port)
{
    return port >= first_port && port <= last_port;
}

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

int clamp_count(std::size_t n)
{
    return int(std::min<std::size_t>(n, INT_MAX));
}

} // namespace

std::string win32_port_path(int port)
{
    return in_range(port) ? "\\\\.\\COM" + std::to_string(port) : std::string();
}

std::string win32_device_path(const std::string& name)
{
    const std::string prefix = "\\\\.\\";
    const std::string bare =
        name.compare(0, prefix.size(), prefix) == 0 ? name.substr(prefix.size()) : name;
    const auto is_digit = [](char c) { return std::isdigit(static_cast<unsigned char>(c)) != 0; };
    if (bare.size() > 3 && std::all_of(bare.begin() + 3, bare.end(), is_digit) &&
        std::equal(bare.begin(), bare.begin() + 3, "COM",
                   [](char a, char b) { return std::toupper(static_cast<unsigned char>(a)) == b; }))
        return prefix + "COM" + bare.substr(3);
    return name;
}

struct Win32Serial::Port {
    HANDLE handle = INVALID_HANDLE_VALUE;
    HANDLE lock = nullptr;
    // Bytes a wait took from the driver that sio_read has not handed out yet.
    std::vector<std::uint8_t> held;
    DWORD wait_ms = wait_unset;

    ~Port() { shut(); }

    bool is_open() const { return handle != INVALID_HANDLE_VALUE; }

    void shut()
    {
        if (is_open())
            CloseHandle(handle);
        if (lock)
            CloseHandle(lock);
        handle = INVALID_HANDLE_VALUE;
        lock = nullptr;
        held.clear();
    }

    // Bytes waiting in the driver; also clears the line's error flags. A
    // pulled adapter fails this, as does a hung-up pseudo-terminal under Wine,
    // where reads still succeed with nothing: false then, and the port shut.
    bool driver_queue(DWORD& queued)
    {
        DWORD errors = 0;
        COMSTAT stat{};
        if (is_open() && ClearCommError(handle, &errors, &stat)) {
            queued = stat.cbInQue;
            return true;
        }
        shut();
        return false;
    }

    // After a failed call: shuts the port when its device has gone, and
    // says so; else the call's own failure.
    int failed(int status)
    {
        DWORD queued = 0;
        return driver_queue(queued) ? status : sio_port_gone;
    }

    // ms 0: a read returns at once with what the driver holds. Otherwise a
    // read returns as soon as a byte is there, or with nothing after ms; the
    // driver sleeps in between.
    bool set_wait(DWORD ms)
    {
        if (ms == wait_ms)
            return true;
        COMMTIMEOUTS t{};
        t.ReadIntervalTimeout = MAXDWORD;
        t.ReadTotalTimeoutMultiplier = ms > 0 ? MAXDWORD : 0;
        t.ReadTotalTimeoutConstant = ms;
        t.WriteTotalTimeoutConstant = write_timeout_ms;
        if (!SetCommTimeouts(handle, &t))
            return false;
        wait_ms = ms;
        return true;
    }
};

Win32Serial::Win32Serial() = default;

Win32Serial::~Win32Serial() = default;

Win32Serial::Port* Win32Serial::find(int port) const
{
    if (!in_range(port))
        return nullptr;
    const auto it = m_ports.find(port);
    return it == m_ports.end() ? nullptr : it->second.get();
}

int Win32Serial::sio_open(int port)
{
    return open_device(port, win32_port_path(port));
}

int Win32Serial::open_device(int port, const std::string& device)
{
    if (!in_range(port))
        return sio_bad_port;
    if (m_ports.count(port) != 0)
        return sio_already_open;

    const std::string path = win32_device_path(device);
    auto p = std::make_unique<Port>();
    if (!(p->lock = take_lock(path)))
        return sio_open_failed;
    p->handle = CreateFileW(wide(path).c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                            OPEN_EXISTING, 0, nullptr);
    if (!p->is_open())
        return sio_open_failed;

    // Set on the open device so a refusal shows here, not at the first write.
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    if (!GetCommState(p->handle, &dcb))
        return sio_open_failed;
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
    if (!SetCommState(p->handle, &dcb) || !p->set_wait(0))
        return sio_open_failed;
    m_ports.emplace(port, std::move(p));
    return sio_ok;
}

int Win32Serial::sio_baud(int port, std::int32_t baud)
{
    Port* p = find(port);
    if (!p)
        return sio_bad_port;
    if (!p->is_open())
        return sio_port_gone;
    if (baud <= 0)
        return sio_bad_baud;
    DCB old{};
    old.DCBlength = sizeof old;
    if (!GetCommState(p->handle, &old))
        return p->failed(sio_bad_baud);
    DCB dcb = old;
    dcb.BaudRate = DWORD(baud);
    DCB now{};
    now.DCBlength = sizeof now;
    if (SetCommState(p->handle, &dcb) && GetCommState(p->handle, &now) &&
        now.BaudRate == dcb.BaudRate)
        return sio_ok;
    // A driver may take a speed it cannot make and run at another (Wine does),
    // where the device would hear only noise: back to the old speed.
    SetCommState(p->handle, &old);
    return p->failed(sio_bad_baud);
}

int Win32Serial::sio_close(int port)
{
    const auto it = in_range(port) ? m_ports.find(port) : m_ports.end();
    if (it == m_ports.end())
        return sio_bad_port;
    m_ports.erase(it);
    return sio_ok;
}

int Win32Serial::sio_write(int port, const std::uint8_t* buf, int len)
{
    Port* p = find(port);
    if (!p)
        return sio_bad_port;
    if (!buf || len < 0)
        return sio_bad_arg;
    if (len == 0)
        return sio_ok;
    if (!p->is_open())
        return sio_port_gone;

    // The driver gives up after the write time-out set with the read ones.
    DWORD sent = 0;
    if (WriteFile(p->handle, buf, DWORD(len), &sent, nullptr) && sent == DWORD(len))
        return sio_ok;
    if (p->failed(sio_write_failed) == sio_port_gone)
        return sio_port_gone;
    // Drop the rest: half a message must not go out ahead of the next one.
    PurgeComm(p->handle, PURGE_TXABORT | PURGE_TXCLEAR);
    return sio_write_failed;
}

int Win32Serial::sio_iqueue(int port)
{
    Port* p = find(port);
    if (!p)
        return sio_bad_port;
    DWORD queued = 0;
    if (!p->driver_queue(queued))
        return sio_port_gone;
    return clamp_count(p->held.size() + queued);
}

int Win32Serial::sio_read(int port, std::uint8_t* buf, int len)
{
    Port* p = find(port);
    if (!p)
        return sio_bad_port;
    if (!buf || len < 0)
        return sio_bad_arg;
    DWORD queued = 0;
    if (!p->driver_queue(queued))
        return sio_port_gone;

    const std::size_t from_held = std::min(p->held.size(), std::size_t(len));
    std::copy_n(p->held.begin(), from_held, buf);
    p->held.erase(p->held.begin(), p->held.begin() + std::ptrdiff_t(from_held));
    // Only bytes the driver counted, so the read returns at once whatever
    // time-outs are set.
    const DWORD want = std::min(DWORD(len - int(from_held)), queued);
    DWORD got = 0;
    if (want > 0 && !ReadFile(p->handle, buf + from_held, want, &got, nullptr))
        return p->failed(sio_read_failed);
    return clamp_count(from_held + got);
}

int Win32Serial::sio_flush(int port)
{
    Port* p = find(port);
    if (!p)
        return sio_bad_port;
    if (!p->is_open())
        return sio_port_gone;
    const bool purged = PurgeComm(p->handle, PURGE_RXABORT | PURGE_RXCLEAR);
    p->held.clear();
    // Wine purges a hung-up pseudo-terminal without complaint: ask the driver.
    return p->failed(purged ? sio_ok : sio_read_failed);
}

int Win32Serial::sio_wait_input(int port, int ms)
{
    Port* p = find(port);
    if (!p)
        return sio_bad_port;
    DWORD queued = 0;
    if (!p->driver_queue(queued))
        return sio_port_gone;
    if (p->held.empty() && queued == 0 && ms > 0) {
        // One byte: the driver returns it the moment it comes. It is kept
        // here, so the queue's count and the next read include it. (Wine
        // spins until ms are up when the line hangs up during the wait; the
        // check after it still sees the device gone.)
        std::uint8_t byte = 0;
        DWORD got = 0;
        if (!p->set_wait(DWORD(ms)) || !ReadFile(p->handle, &byte, 1, &got, nullptr))
            return p->failed(sio_read_failed);
        if (got == 1)
            p->held.push_back(byte);
        if (!p->driver_queue(queued))
            return sio_port_gone;
    }
    return clamp_count(p->held.size() + queued);
}

} // namespace qrv
