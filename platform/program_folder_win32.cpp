#include "program_folder.h"

#include "windows_text.h"

#include <filesystem>

namespace qrv {

std::string program_folder()
{
    std::wstring path(MAX_PATH, L'\0');
    DWORD n;
    while ((n = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()))) ==
           path.size())
        path.resize(path.size() * 2);
    path.resize(n);
    return utf8(std::filesystem::path(path).parent_path().wstring());
}

} // namespace qrv
