#include "tool_folder.h"

#include <array>
#include <filesystem>
#include <string>
#include <string_view>

namespace qrv {

namespace {

constexpr std::string_view user_folder_name = "qrv-idtool";

bool is_system_folder(const std::string& folder)
{
    constexpr std::array<std::string_view, 5> roots{"/usr", "/bin", "/sbin", "/lib", "/opt"};
    for (const std::string_view root : roots)
        if (folder.starts_with(root) &&
            (folder.size() == root.size() || folder[root.size()] == '/'))
            return true;
    return false;
}

std::string absolute_or_empty(std::string path)
{
    return path.starts_with('/') ? path : std::string();
}

} // namespace

std::string choose_tool_folder(const std::string& program_folder, const FolderProbe& probe)
{
    if (!is_system_folder(program_folder) && probe.writable(program_folder))
        return program_folder;
    if (const std::string data = absolute_or_empty(probe.environment("XDG_DATA_HOME"));
        !data.empty())
        return data + "/" + std::string(user_folder_name);
    if (const std::string home = absolute_or_empty(probe.environment("HOME")); !home.empty())
        return home + "/.local/share/" + std::string(user_folder_name);
    return program_folder;
}

std::string tool_folder(const std::string& program_folder, const FolderProbe& probe)
{
    const std::string folder = choose_tool_folder(program_folder, probe);
    if (folder == program_folder)
        return folder;
    // Each folder made here is the user's alone, as the base folder of a
    // user's data should be.
    namespace fs = std::filesystem;
    std::error_code ec;
    fs::path made;
    for (const fs::path& part : fs::path(folder)) {
        made /= part;
        if (fs::create_directory(made, ec))
            fs::permissions(made, fs::perms::owner_all, fs::perm_options::replace, ec);
    }
    return folder;
}

std::string port_link(const std::string& tool_folder, int port)
{
    return (std::filesystem::path(tool_folder) / "ports" / ("COM" + std::to_string(port))).string();
}

} // namespace qrv
