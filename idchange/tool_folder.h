// Where the tool keeps its day logs, parameter.txt and ports/: beside the
// program while the user may write there (the build tree, a copied folder),
// in the user's own data folder once the program is installed.
#pragma once

#include <functional>
#include <string>

namespace qrv {

// What the choice asks of the system; a test gives its own answers.
struct FolderProbe {
    std::function<bool(const std::string& folder)> writable;
    std::function<std::string(const char* name)> environment; // "" when unset
};

// The platform's probe: on Linux access(W_OK) and the process's environment;
// on Windows every program folder counts as writable, as it always has.
FolderProbe system_probe();

// The program's folder when the probe finds it writable and it is not a
// system folder (/usr, /bin, /sbin, /lib, /opt or below: root may write
// there, but an installed program must not); otherwise
// $XDG_DATA_HOME/qrv-idtool when that variable is an absolute path, else
// $HOME/.local/share/qrv-idtool when HOME is; the program's folder when
// neither is.
std::string choose_tool_folder(const std::string& program_folder, const FolderProbe& probe);

// The chosen folder, made (mode 0700, with its missing parents) when it is
// the user's and missing. When it cannot be made it is returned all the
// same: writing there then fails as any other write does, and is said so.
std::string tool_folder(const std::string& program_folder,
                        const FolderProbe& probe = system_probe());

// The link that makes a device port number port on Linux: ports/COMN in
// the tool folder, whether it is there or not.
std::string port_link(const std::string& tool_folder, int port);

} // namespace qrv
