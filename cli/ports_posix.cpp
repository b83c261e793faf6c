#include "ports_posix.h"

#include "tool_folder.h"
#include "vocabulary.h"

#include <algorithm>
#include <filesystem>
#include <fstream>

namespace qrv::cli {

namespace fs = std::filesystem;

namespace {

// The entries of a folder; none when it cannot be read.
std::vector<fs::path> entries(const fs::path& folder)
{
    std::vector<fs::path> found;
    std::error_code ec;
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec))
        found.push_back(it->path());
    return found;
}

// The first line of a sysfs attribute; empty when there is none.
std::string attribute(const fs::path& file)
{
    std::ifstream in(file);
    std::string line;
    std::getline(in, line);
    return line;
}

// Where a link leads, as a path from the root, whether it is there or not.
fs::path link_target(const fs::path& link)
{
    std::error_code ec;
    const fs::path target = fs::read_symlink(link, ec);
    return ec ? fs::path() : (link.parent_path() / target).lexically_normal();
}

// What the USB device a tty hangs from says of itself: the first folder up
// from the tty's device with a vendor's number, below the sysfs root.
void add_usb_details(SystemPort& port, const fs::path& device, const fs::path& sys_root)
{
    std::error_code ec;
    const fs::path root = fs::canonical(sys_root, ec);
    for (fs::path at = fs::canonical(device, ec); !ec && at != root && at != at.parent_path();
         at = at.parent_path()) {
        if (!fs::exists(at / "idVendor", ec))
            continue;
        const std::string maker = attribute(at / "manufacturer"),
                          product = attribute(at / "product");
        port.name = maker.empty() || product.empty() ? maker + product : maker + " " + product;
        port.usb_id = attribute(at / "idVendor") + ":" + attribute(at / "idProduct");
        port.serial = attribute(at / "serial");
        return;
    }
}

// Every tty with a device behind it: virtual terminals and pseudo-terminals
// have none, and a serial8250 slot without a UART says type 0.
std::vector<SystemPort> ttys(const fs::path& sys_root, const std::string& dev_root)
{
    std::vector<SystemPort> ports;
    std::error_code ec;
    for (const fs::path& tty : entries(sys_root / "class" / "tty")) {
        if (!fs::exists(tty / "device", ec) || attribute(tty / "type") == "0")
            continue;
        SystemPort port;
        port.device = dev_root + "/" + tty.filename().string();
        add_usb_details(port, tty / "device", sys_root);
        ports.push_back(port);
    }
    for (const fs::path& by_id : entries(fs::path(dev_root) / "serial" / "by-id"))
        for (SystemPort& port : ports)
            if (fs::path(port.device).filename() == link_target(by_id).filename())
                port.by_id = by_id.string();
    return ports;
}

// The port a path leads to, the same device by another name included.
SystemPort* port_at(std::vector<SystemPort>& ports, const fs::path& path)
{
    std::error_code ec;
    for (SystemPort& port : ports)
        if (port.device == path.string() || fs::equivalent(port.device, path, ec))
            return &port;
    return nullptr;
}

// The window's numbers: the tool's ports/COMN links, where they lead (a
// device the system lists, another one, or none), and else /dev/ttyS<N-1>.
void add_numbers(std::vector<SystemPort>& ports, const std::string& tool_folder,
                 const std::string& dev_root)
{
    std::error_code ec;
    for (int n = 1; n <= port_count; ++n) {
        const fs::path link = port_link(tool_folder, n);
        const fs::path target = link_target(link);
        if (target.empty())
            continue;
        SystemPort* port = port_at(ports, target);
        if (!port || port->number != 0) {
            ports.emplace_back();
            port = &ports.back();
            port->device = target.string();
            port->link_dead = !fs::exists(target, ec);
        }
        port->number = n;
        port->link = link.string();
    }
    for (int n = 1; n <= port_count; ++n) {
        const fs::path link = port_link(tool_folder, n);
        SystemPort* port = port_at(ports, dev_root + "/ttyS" + std::to_string(n - 1));
        if (port && port->number == 0 && !fs::exists(fs::symlink_status(link, ec)))
            port->number = n;
    }
}

} // namespace

std::vector<SystemPort> system_ports_in(const std::string& tool_folder, const std::string& sys_root,
                                        const std::string& dev_root)
{
    std::vector<SystemPort> ports = ttys(sys_root, dev_root);
    add_numbers(ports, tool_folder, dev_root);
    // The window's ports first, in its order; then the rest by name.
    std::ranges::sort(ports, [](const SystemPort& a, const SystemPort& b) {
        return std::tuple(a.number == 0, a.number, a.device) <
               std::tuple(b.number == 0, b.number, b.device);
    });
    return ports;
}

std::vector<SystemPort> system_ports(const std::string& tool_folder)
{
    return system_ports_in(tool_folder, "/sys", "/dev");
}

} // namespace qrv::cli
