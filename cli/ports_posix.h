// The serial ports of a Linux system as its sysfs and /dev show them: the
// platform's part of ports.h, with the two trees given, so that a test can
// fake them.
#pragma once

#include "ports.h"

namespace qrv::cli {

std::vector<SystemPort> system_ports_in(const std::string& tool_folder, const std::string& sys_root,
                                        const std::string& dev_root);

} // namespace qrv::cli
