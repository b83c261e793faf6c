// The folder of the running program, where its files go: as the system
// names it (UTF-8 on Windows; on Linux the bytes as they are, UTF-8 or not).
#pragma once

#include <string>

namespace qrv {

std::string program_folder();

} // namespace qrv
