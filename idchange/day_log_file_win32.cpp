#include "day_log_file.h"

#include "windows_text.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>
#include <utility>

namespace qrv {

namespace {

constexpr std::string_view utf8_bom = "\xEF\xBB\xBF";

// Whether bytes are UTF-8, ASCII included: Windows converts nothing else from it.
bool is_utf8(std::string_view bytes)
{
    return MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, bytes.data(),
                               static_cast<int>(bytes.size()), nullptr, 0) > 0;
}

// The first bytes of the file open at fd, as many as tell its encoding:
// the whole lines of its first MiB, so that no character is cut in two.
std::string file_start(int fd)
{
    constexpr unsigned judged = 1U << 20;
    std::string start(judged, '\0');
    start.resize(static_cast<std::size_t>(std::max(_read(fd, start.data(), judged), 0)));
    if (const std::size_t lf = start.rfind('\n'); start.size() == judged && lf != start.npos)
        start.resize(lf + 1);
    return start;
}

} // namespace

char path_separator()
{
    return '\\';
}

std::filesystem::path file_path(const std::string& name)
{
    return wide(name);
}

std::string record_bytes(std::string_view start, std::string_view text)
{
    std::string record = "\"";
    record.append(text).append("\"\r\n");
    if (!start.empty() && (start.starts_with(utf8_bom) || is_utf8(start)))
        return record;
    if (auto ansi = in_code_page(wide(record), GetACP()))
        return *ansi;
    // UTF-8 holds every character; Notepad takes a new file for UTF-8 by its mark.
    return start.empty() ? std::string(utf8_bom) + record : record;
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
    const std::string record = record_bytes(file_start(fd), text);
    const __int64 before = _lseeki64(fd, 0, SEEK_END);
    errno = 0;
    const bool whole = _write(fd, record.data(), static_cast<unsigned>(record.size())) ==
                       static_cast<int>(record.size());
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
        {EINVAL, ERROR_INVALID_NAME},
    };
    for (const auto& [value, code] : system_errors)
        if (value == error)
            return system_message(code);
    return std::strerror(error);
}

} // namespace qrv
