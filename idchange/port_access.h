// How the system lets a user open its serial ports. Each platform has its
// own file (port_access_posix.cpp, port_access_win32.cpp); the build takes one.
#pragma once

namespace qrv {

// The group a user joins to be allowed the serial ports (Debian's dialout);
// empty where the system has none, as on Windows.
const char* serial_port_group();

} // namespace qrv
