#include "ports.h"

#include "vocabulary.h"
#include "windows_text.h"

#include <algorithm>
#include <climits>
#include <cwchar>
#include <cwctype>
#include <map>
#include <tuple>

namespace qrv::cli {

namespace {

const std::wstring serial_map = L"HARDWARE\\DEVICEMAP\\SERIALCOMM";
const std::wstring device_tree = L"SYSTEM\\CurrentControlSet\\Enum";

// A text value of a key under HKEY_LOCAL_MACHINE; empty when there is none.
std::wstring value_text(const std::wstring& key, const wchar_t* name)
{
    DWORD size = 0;
    if (RegGetValueW(HKEY_LOCAL_MACHINE, key.c_str(), name, RRF_RT_REG_SZ, nullptr, nullptr,
                     &size) != ERROR_SUCCESS)
        return {};
    std::wstring text(size / sizeof(wchar_t) + 1, L'\0');
    size = DWORD(text.size() * sizeof(wchar_t));
    if (RegGetValueW(HKEY_LOCAL_MACHINE, key.c_str(), name, RRF_RT_REG_SZ, nullptr, text.data(),
                     &size) != ERROR_SUCCESS)
        return {};
    text.resize(std::wcslen(text.c_str()));
    return text;
}

// The names of a key's subkeys, or of its text values' data (values).
std::vector<std::wstring> children(const std::wstring& key, bool values)
{
    std::vector<std::wstring> found;
    HKEY open = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, key.c_str(), 0, KEY_READ, &open) != ERROR_SUCCESS)
        return found;
    wchar_t name[256], data[256];
    for (DWORD i = 0;; ++i) {
        DWORD name_size = 256, data_size = sizeof data, type = 0;
        const LONG r =
            values ? RegEnumValueW(open, i, name, &name_size, nullptr, &type,
                                   reinterpret_cast<BYTE*>(data), &data_size)
                   : RegEnumKeyExW(open, i, name, &name_size, nullptr, nullptr, nullptr, nullptr);
        if (r == ERROR_MORE_DATA)
            continue; // a name too long for a port: not one
        if (r != ERROR_SUCCESS)
            break;
        if (!values)
            found.emplace_back(name, name_size);
        else if (type == REG_SZ)
            found.emplace_back(data, wcsnlen(data, data_size / sizeof(wchar_t)));
    }
    RegCloseKey(open);
    return found;
}

std::wstring upper(std::wstring text)
{
    for (wchar_t& c : text)
        c = wchar_t(std::towupper(c));
    return text;
}

// What Device Manager calls each port ("USB-SERIAL CH340 (COM5)"): the
// friendly name of the device whose parameters name the port, by port.
std::map<std::wstring, std::wstring> friendly_names()
{
    std::map<std::wstring, std::wstring> names;
    for (const std::wstring& bus : children(device_tree, false))
        for (const std::wstring& kind : children(device_tree + L"\\" + bus, false))
            for (const std::wstring& one :
                 children(device_tree + L"\\" + bus + L"\\" + kind, false)) {
                const std::wstring key = device_tree + L"\\" + bus + L"\\" + kind + L"\\" + one;
                const std::wstring port = value_text(key + L"\\Device Parameters", L"PortName");
                if (!port.empty())
                    names[upper(port)] = value_text(key, L"FriendlyName");
            }
    return names;
}

// N of "COMN"; 0 for another name.
int com_number(const std::wstring& name)
{
    if (name.size() < 4 || name.size() > 6 || name.compare(0, 3, L"COM") != 0 ||
        !std::all_of(name.begin() + 3, name.end(), [](wchar_t c) { return std::iswdigit(c); }))
        return 0;
    return std::stoi(name.substr(3));
}

} // namespace

std::vector<SystemPort> system_ports(const std::string&)
{
    const std::map<std::wstring, std::wstring> names = friendly_names();
    std::vector<std::pair<int, SystemPort>> found;
    for (const std::wstring& com : children(serial_map, true)) {
        const std::wstring name = upper(com);
        SystemPort port;
        port.device = utf8(name);
        const int n = com_number(name);
        port.number = n <= port_count ? n : 0;
        if (const auto it = names.find(name); it != names.end())
            port.name = utf8(it->second);
        found.emplace_back(n > 0 ? n : INT_MAX, port); // other names after the COM ports
    }
    std::ranges::sort(found, [](const auto& a, const auto& b) {
        return std::tie(a.first, a.second.device) < std::tie(b.first, b.second.device);
    });
    std::vector<SystemPort> ports;
    for (const auto& [n, port] : found)
        ports.push_back(port);
    return ports;
}

} // namespace qrv::cli
