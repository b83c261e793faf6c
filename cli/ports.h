// The serial ports the system has, for `qrv-idctl ports`: what --port takes
// for each and what the system says it is. Each platform has its own file
// (ports_posix.cpp, ports_win32.cpp); the build takes one.
#pragma once

#include <string>
#include <vector>

namespace qrv::cli {

struct SystemPort {
    std::string device;     // what --port takes: "/dev/ttyUSB0", "COM5"; a dead link's target
    int number = 0;         // the window's port number for it (1..24); 0: none
    std::string link;       // the tool's ports/COMN link to it, when there is one
    std::string name;       // what the system calls it: a friendly name, a USB product
    std::string usb_id;     // "1a86:7523": the USB vendor's and product's numbers
    std::string serial;     // the USB serial number
    std::string by_id;      // its /dev/serial/by-id link
    bool link_dead = false; // link leads to no device; device is where it points
};

// The ports present and the tool's ports/COMN links (Linux), by name.
std::vector<SystemPort> system_ports(const std::string& tool_folder);

} // namespace qrv::cli
