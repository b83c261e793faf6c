#include "day_log_file.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
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

std::string record_bytes(std::string_view, std::string_view text)
{
    std::string record = "\"";
    return record.append(text).append("\"\r\n");
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
    const std::string record = record_bytes({}, text);
    const int fd = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0)
        return errno;
    struct stat before {};
    const bool sized = ::fstat(fd, &before) == 0;
    std::size_t done = 0;
    int error = 0;
    while (done < record.size() && error == 0) {
        const ssize_t n = ::write(fd, record.data() + done, record.size() - done);
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
