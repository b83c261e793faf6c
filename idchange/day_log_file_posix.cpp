#include "day_log_file.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <iconv.h>
#include <sys/stat.h>
#include <unistd.h>

namespace qrv {

char path_separator()
{
    return '/';
}

std::filesystem::path file_path(const std::string& name)
{
    return name; // the bytes as they are
}

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

std::optional<std::string> record_bytes(std::string_view, std::string_view text)
{
    std::string record = "\"";
    record.append(text).append("\"\r\n");
    return encode_text(record, system_charset());
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
    const auto record = record_bytes({}, text);
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

std::string error_text(int error)
{
    return std::strerror(error);
}

} // namespace qrv
