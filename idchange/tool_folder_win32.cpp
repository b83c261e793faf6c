#include "tool_folder.h"

namespace qrv {

// The Windows programs keep their files beside themselves, in the folder the
// zip was unpacked into.
FolderProbe system_probe()
{
    return {[](const std::string&) { return true; }, [](const char*) { return std::string(); }};
}

} // namespace qrv
