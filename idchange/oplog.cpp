#include "oplog.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>

#ifdef _WIN32
#include "windows_text.h"
#include <algorithm>
#include <cstdlib>
#include <io.h>
#else
#include <iconv.h>
#include <unistd.h>
#endif

namespace qrv {

namespace {

void append_log(LogText& log, std::string_view text)
{
    log.set_log_text(log.log_text() + std::string(text));
}

std::string join(std::initializer_list<std::string_view> parts)
{
    std::string text;
    for (const auto part : parts)
        text += part;
    return text;
}

} // namespace

void log_reset(LogText& log)
{
    log.set_log_text(join({star_line, crlf}));
}

void log_start(LogText& log, const std::string& old_text, const std::string& new_text,
               const std::string& date_time_text)
{
    append_log(log, join({log_start_prefix, old_text, log_new_id_prefix, new_text, log_start_suffix,
                          crlf, log_time_prefix, date_time_text, crlf}));
}

void log_sent(LogText& log, std::span<const std::uint8_t> request)
{
    append_log(log, join({log_sent_prefix, hex_bytes(request), crlf}));
}

void log_reply(LogText& log, std::span<const std::uint8_t> reply)
{
    append_log(log, join({log_reply_prefix, hex_bytes(reply), crlf}));
}

void log_result(LogText& log, std::string_view result_text)
{
    append_log(log, result_text);
}

void log_close(LogText& log)
{
    append_log(log, join({star_line, crlf, crlf}));
}

std::string tool_file(const std::string& folder, std::string_view name)
{
#ifdef _WIN32
    constexpr char separator = '\\';
#else
    constexpr char separator = '/';
#endif
    return folder + separator + std::string(name);
}

std::string day_log_path(const std::string& folder, const std::string& log_date)
{
    return tool_file(folder, log_date + ".txt");
}

#ifdef _WIN32

std::optional<std::string> encode_text(std::string_view utf8, const char* charset)
{
    std::wstring text = wide(std::string(utf8));
    if (text.empty())
        return std::string();
    // A broken sequence widens to U+FFFD; it is written as '?', as elsewhere.
    std::replace(text.begin(), text.end(), L'\xFFFD', L'?');
    const UINT cp = static_cast<UINT>(std::atoi(charset + 2)); // "CP936"
    // UTF-8 holds every character, and Windows refuses the whole conversion
    // when it is given a default character for it (an ANSI code page of 65001).
    const char* unmapped = cp == CP_UTF8 ? nullptr : "?";
    const int n = WideCharToMultiByte(cp, 0, text.data(), static_cast<int>(text.size()), nullptr, 0,
                                      unmapped, nullptr);
    if (n <= 0)
        return std::nullopt;
    std::string out(static_cast<std::size_t>(n), '\0');
    WideCharToMultiByte(cp, 0, text.data(), static_cast<int>(text.size()), out.data(), n, unmapped,
                        nullptr);
    return out;
}

const char* system_charset()
{
    static const std::string name = "CP" + std::to_string(GetACP());
    return name.c_str();
}

bool create_if_missing(const std::string& path)
{
    const int fd =
        _wopen(wide(path).c_str(), _O_WRONLY | _O_CREAT | _O_BINARY, _S_IREAD | _S_IWRITE);
    return fd >= 0 && _close(fd) == 0;
}

int append_record(const std::string& path, std::string_view text)
{
    const auto record = encode_text(join({"\"", text, "\"", crlf}), system_charset());
    if (!record)
        return EILSEQ;
    const int fd = _wopen(wide(path).c_str(), _O_WRONLY | _O_APPEND | _O_CREAT | _O_BINARY,
                          _S_IREAD | _S_IWRITE);
    if (fd < 0)
        return errno;
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

#else

std::optional<std::string> encode_text(std::string_view utf8, const char* charset)
{
    iconv_t cd = iconv_open(charset, "UTF-8");
    if (cd == reinterpret_cast<iconv_t>(-1))
        return std::nullopt;
    std::string out;
    char buf[256];
    char* in = const_cast<char*>(utf8.data());
    std::size_t in_left = utf8.size();
    while (in_left > 0) {
        char* o = buf;
        std::size_t o_left = sizeof buf;
        const std::size_t r = iconv(cd, &in, &in_left, &o, &o_left);
        out.append(buf, sizeof buf - o_left);
        if (r != static_cast<std::size_t>(-1) || errno == E2BIG)
            continue;
        // A character the set cannot hold, or a broken sequence: one '?' for
        // the whole UTF-8 sequence, then go on after it.
        out += '?';
        std::size_t skip = 1;
        while (skip < in_left && (static_cast<unsigned char>(in[skip]) & 0xC0) == 0x80)
            ++skip;
        in += skip;
        in_left -= skip;
    }
    iconv_close(cd);
    return out;
}

const char* system_charset()
{
    return "UTF-8";
}

bool create_if_missing(const std::string& path)
{
    struct stat st {};
    if (::stat(path.c_str(), &st) == 0)
        return true;
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
    return fd >= 0 && ::close(fd) == 0;
}

int append_record(const std::string& path, std::string_view text)
{
    const auto record = encode_text(join({"\"", text, "\"", crlf}), system_charset());
    if (!record)
        return EILSEQ;
    const int fd = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0)
        return errno;
    struct stat before {};
    const bool sized = ::fstat(fd, &before) == 0;
    std::size_t done = 0;
    int error = 0;
    while (done < record->size() && error == 0) {
        const ssize_t n = ::write(fd, record->data() + done, record->size() - done);
        if (n > 0)
            done += static_cast<std::size_t>(n);
        else if (n == 0 || errno != EINTR)
            error = n == 0 ? ENOSPC : errno;
    }
    // Take a torn record back out, so the file keeps whole records. The
    // append has failed either way; the truncation's own result adds nothing.
    if (error != 0 && done > 0 && sized && S_ISREG(before.st_mode)) {
        [[maybe_unused]] const int undone = ::ftruncate(fd, before.st_size);
    }
    if (::close(fd) != 0 && error == 0)
        return errno;
    return error;
}

#endif

std::string error_text(int error)
{
    return std::strerror(error);
}

} // namespace qrv
