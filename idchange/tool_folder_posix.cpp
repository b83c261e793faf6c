#include "tool_folder.h"

#include <cstdlib>
#include <unistd.h>

namespace qrv {

FolderProbe system_probe()
{
    return {[](const std::string& folder) { return ::access(folder.c_str(), W_OK) == 0; },
            [](const char* name) {
                const char* value = std::getenv(name);
                return std::string(value ? value : "");
            }};
}

} // namespace qrv
