#include "day_log_file.h"

#include "windows_text.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>
#include <utility>

namespace qrv {

namespace {

constexpr std::string_view utf8_bom = "\xEF\xBB\xBF";

} // namespace

char path_separator()
{
    return '\\';
}

std::filesystem::path file_path(const std::string& name)
{
    return wide(name);
}

std::optional<std::string> encode_text(std::string_view utf8, const char* charset)
{
    std::wstring text = wide(std::string(utf8));
    if (text.empty())
        return std::string();
    // A broken sequence widens to U+FFFD; it is written as '?', as elsewhere.
    std::replace(text.begin(), text.end(), L'\xFFFD', L'?');
    // "CP936"; an ANSI code page of 65001 is UTF-8.
    return in_code_page(text, static_cast<UINT>(std::atoi(charset + 2)));
}

const char* system_charset()
{
    static const std::string name = "CP" + std::to_string(GetACP());
    return name.c_str();
}

std::optional<std::string> record_bytes(std::string_view head, std::string_view text)
{
    std::string record = "\"";
    record.append(text).append("\"\r\n");
    if (head.starts_with(utf8_bom))
        return encode_text(record, "CP65001");
    // A file keeps the encoding it has; Notepad reads both.
    if (!head.empty())
        return encode_text(record, system_charset());
    if (std::wstring whole = wide(record); whole.find(L'\xFFFD') == std::wstring::npos)
        if (auto ansi = in_code_page(whole, GetACP(), true))
            return ansi;
    const auto utf8 = encode_text(record, "CP65001");
    return utf8 ? std::optional(std::string(utf8_bom) + *utf8) : std::nullopt;
}

bool create_if_missing(const std::string& path)
{
    const int fd =
        _wopen(wide(path).c_str(), _O_WRONLY | _O_CREAT | _O_BINARY, _S_IREAD | _S_IWRITE);
    return fd >= 0 && _close(fd) == 0;
}

int append_record(const std::string& path, std::string_view text)
{
    const int fd = _wopen(wide(path).c_str(), _O_RDWR | _O_APPEND | _O_CREAT | _O_BINARY,
                          _S_IREAD | _S_IWRITE);
    if (fd < 0)
        return errno;
    char head[utf8_bom.size()];
    const int got = _read(fd, head, sizeof head);
    const auto record = record_bytes({head, static_cast<std::size_t>(std::max(got, 0))}, text);
    if (!record) {
        _close(fd);
        return EILSEQ;
    }
    const __int64 before = _lseeki64(fd, 0, SEEK_END);
    errno = 0;
    const bool whole = _write(fd, record->data(), static_cast<unsigned>(record->size())) ==
                       static_cast<int>(record->size());
    const int error = whole ? 0 : errno != 0 ? errno : ENOSPC;
    // Take a torn record back out, so the file keeps whole records. A write
    // that failed may still have put part of the record in the file (Wine
    // does on a full disk), so cut back whatever it reported.
    if (!whole && before >= 0)
        _chsize_s(fd, before);
    if (_close(fd) != 0 && error == 0)
        return errno;
    return error;
}

std::string error_text(int error)
{
    // The C library turned the system's error into an errno value; the
    // system words it in the user's language.
    static const std::pair<int, DWORD> system_errors[] = {
        {ENOENT, ERROR_PATH_NOT_FOUND},      {EACCES, ERROR_ACCESS_DENIED},
        {ENOSPC, ERROR_DISK_FULL},           {EROFS, ERROR_WRITE_PROTECT},
        {EMFILE, ERROR_TOO_MANY_OPEN_FILES}, {EEXIST, ERROR_FILE_EXISTS},
        {EINVAL, ERROR_INVALID_NAME},        {EILSEQ, ERROR_NO_UNICODE_TRANSLATION},
    };
    for (const auto& [value, code] : system_errors)
        if (value == error)
            return system_message(code);
    return std::strerror(error);
}

} // namespace qrv
