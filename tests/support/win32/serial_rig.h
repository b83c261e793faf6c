// The serial back end of the Windows programs under Wine, and the virtual
// device on a COM port of the prefix.
#pragma once

#include "win32_serial.h"
#include "wine.h"

#include <bit>

namespace qrv::test {

struct SerialRig {
    std::unique_ptr<SerialApi> make_serial() { return std::make_unique<Win32Serial>(); }
    std::unique_ptr<Devsim> device(int port, std::vector<std::string> options = {"--id", "17"})
    {
        return std::make_unique<Devsim>(port, std::move(options));
    }
    // A name of port n's device that sio_open_device takes.
    std::string device_name(int port) { return "com" + std::to_string(port); }
    // A port the prefix does not have, and a device that is no serial port.
    std::string missing_device() { return "COM200"; }
    std::string not_a_port() { return "NUL"; }
    static std::chrono::milliseconds processor_time()
    {
        FILETIME t[4];
        GetProcessTimes(GetCurrentProcess(), &t[0], &t[1], &t[2], &t[3]);
        return std::chrono::milliseconds(
            (std::bit_cast<ULONGLONG>(t[2]) + std::bit_cast<ULONGLONG>(t[3])) / 10000);
    }
};

} // namespace qrv::test
