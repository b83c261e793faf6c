#include "fakes.h"

#include <algorithm>

namespace qrv::test {

std::string FakeWindow::baud_entry(int index) const
{
    static const char* entries[] = {"9600", "19200", "38400", "57600", "115200", "230400"};
    return index >= 0 && index < 6 ? entries[index] : "";
}

void FakeClock::delay_ms(int ms)
{
    waits.push_back(ms);
    if (during_wait)
        during_wait();
}

int FakeSerial::sio_open(int port)
{
    calls.push_back("open " + std::to_string(port));
    if (open_status == sio_ok)
        open_ports[port] = 0;
    return open_status;
}

int FakeSerial::sio_baud(int port, std::int32_t baud)
{
    calls.push_back("baud " + std::to_string(port) + " " + std::to_string(baud));
    if (!is_open(port))
        return sio_bad_port;
    if (baud_status == sio_ok)
        open_ports[port] = baud;
    return baud_status;
}

int FakeSerial::sio_close(int port)
{
    calls.push_back("close " + std::to_string(port));
    return open_ports.erase(port) ? sio_ok : sio_bad_port;
}

int FakeSerial::sio_write(int port, const std::uint8_t* buf, int len)
{
    calls.push_back("write " + std::to_string(port));
    if (!is_open(port))
        return sio_bad_port;
    written.emplace_back(buf, buf + len);
    if (device) {
        const Bytes answer = device(written.back());
        input.insert(input.end(), answer.begin(), answer.end());
    }
    return sio_ok;
}

int FakeSerial::sio_iqueue(int port)
{
    calls.push_back("iqueue " + std::to_string(port));
    return is_open(port) ? static_cast<int>(input.size()) : sio_bad_port;
}

int FakeSerial::sio_read(int port, std::uint8_t* buf, int len)
{
    calls.push_back("read " + std::to_string(port));
    if (!is_open(port))
        return sio_bad_port;
    const auto n = std::min<std::size_t>(static_cast<std::size_t>(len), input.size());
    std::copy_n(input.begin(), n, buf);
    input.erase(input.begin(), input.begin() + static_cast<std::ptrdiff_t>(n));
    return static_cast<int>(n);
}

int FakeSerial::sio_flush(int port)
{
    calls.push_back("flush " + std::to_string(port));
    if (!is_open(port))
        return sio_bad_port;
    input.clear();
    return sio_ok;
}

} // namespace qrv::test
