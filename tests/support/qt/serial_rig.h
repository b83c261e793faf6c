// The serial back end of the Linux programs, and the virtual device on a
// port of it: a pseudo-terminal linked as ports/COM<n> in a tool folder.
#pragma once

#include "pty.h"
#include "qt_serial.h"

#include <ctime>
#include <filesystem>

namespace qrv::test {

struct SerialRig {
    std::unique_ptr<SerialApi> make_serial() { return std::make_unique<QtSerial>(tool.path()); }
    std::unique_ptr<Devsim> device(int port, std::vector<std::string> options = {"--id", "17"})
    {
        return std::make_unique<Devsim>(device_name(port), std::move(options));
    }
    // A name of port n's device that sio_open_device takes.
    std::string device_name(int port) { return tool.file("ports/COM" + std::to_string(port)); }
    // A link to a device that is not there, and a folder.
    std::string missing_device()
    {
        std::filesystem::create_directories(tool.file("ports"));
        std::filesystem::create_symlink("/dev/ttyUSB-none", tool.file("ports/COM7"));
        return tool.file("ports/COM7");
    }
    std::string not_a_port() { return tool.path(); }
    static std::chrono::milliseconds processor_time()
    {
        return std::chrono::milliseconds(std::clock() * 1000 / CLOCKS_PER_SEC);
    }

    TempDir tool;
};

} // namespace qrv::test
