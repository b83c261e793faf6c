// Linux only: pseudo-terminals standing in for serial cables, the virtual
// device run as a child process on one of them, and a child process that
// file permissions bind.
#pragma once

#include "files.h"

#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <fcntl.h>
#include <functional>
#include <poll.h>
#include <signal.h>
#include <stdexcept>
#include <sys/wait.h>
#include <termios.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace qrv::test {

using Bytes = std::vector<std::uint8_t>;
using namespace std::chrono_literals;

[[noreturn]] inline void fail(const std::string& what)
{
    throw std::runtime_error(what + ": " + std::strerror(errno));
}

// A pseudo-terminal pair in raw mode. The test holds the master side; the
// code under test opens the slave through link() or slave_path().
class Pty {
public:
    Pty()
    {
        char name[256] = {};
        m_master = ::posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK);
        if (m_master < 0 || ::grantpt(m_master) != 0 || ::unlockpt(m_master) != 0 ||
            ::ptsname_r(m_master, name, sizeof name) != 0 ||
            (m_slave = ::open(name, O_RDWR | O_NOCTTY)) < 0)
            fail("pseudo-terminal");
        termios raw{};
        ::tcgetattr(m_slave, &raw);
        cfmakeraw(&raw);
        ::tcsetattr(m_slave, TCSANOW, &raw);
        m_slave_path = name;
    }
    ~Pty()
    {
        if (!m_link.empty())
            ::unlink(m_link.c_str());
        close_master();
        ::close(m_slave); // held open so the slave keeps its settings between openers
    }
    Pty(const Pty&) = delete;
    Pty& operator=(const Pty&) = delete;

    const std::string& slave_path() const { return m_slave_path; }
    // Makes link_path a symbolic link to the slave, replacing what was there.
    void link(const std::string& link_path)
    {
        std::filesystem::create_directories(std::filesystem::path(link_path).parent_path());
        ::unlink(link_path.c_str());
        if (::symlink(m_slave_path.c_str(), link_path.c_str()) != 0)
            fail("symlink " + link_path);
        m_link = link_path;
    }
    void write(const Bytes& bytes)
    {
        if (::write(m_master, bytes.data(), bytes.size()) != ssize_t(bytes.size()))
            fail("pty write");
    }
    // Up to count bytes, waiting at most timeout; a zero timeout takes what is there.
    Bytes read(std::size_t count, std::chrono::milliseconds timeout)
    {
        Bytes got;
        const auto end = std::chrono::steady_clock::now() + timeout;
        while (got.size() < count && m_master >= 0) {
            std::uint8_t buf[256];
            const ssize_t n = ::read(m_master, buf, std::min(sizeof buf, count - got.size()));
            if (n > 0) {
                got.insert(got.end(), buf, buf + n);
                continue;
            }
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                end - std::chrono::steady_clock::now());
            if (n == 0 || (errno != EAGAIN && errno != EINTR) || left <= 0ms)
                break;
            pollfd p{m_master, POLLIN, 0};
            ::poll(&p, 1, static_cast<int>(left.count()));
        }
        return got;
    }
    // The line goes dead for the slave's opener.
    void close_master()
    {
        if (m_master >= 0)
            ::close(m_master);
        m_master = -1;
    }

private:
    int m_master = -1;
    int m_slave = -1;
    std::string m_slave_path;
    std::string m_link;
};

// qrv-devsim running as a child process, with its link at link_path and
// what it prints in link_path + ".out".
class Devsim {
public:
    Devsim(const std::string& link_path, std::vector<std::string> options = {})
        : m_out(link_path + ".out")
    {
        std::filesystem::create_directories(std::filesystem::path(link_path).parent_path());
        ::unlink(link_path.c_str());
        options.insert(options.begin(), {QRV_DEVSIM_PATH, "--link", link_path});
        if ((m_pid = ::fork()) == 0) {
            const int out = ::open(m_out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            ::dup2(out, 1);
            ::dup2(out, 2);
            std::vector<char*> argv;
            for (auto& a : options)
                argv.push_back(a.data());
            argv.push_back(nullptr);
            ::execv(argv[0], argv.data());
            ::_exit(127);
        }
        for (int i = 0; !std::filesystem::is_symlink(link_path); ++i) {
            if (::waitpid(m_pid, nullptr, WNOHANG) == m_pid || i > 2000) {
                stop(); // no destructor runs for a constructor that throws
                throw std::runtime_error("qrv-devsim did not come up: " + output());
            }
            std::this_thread::sleep_for(5ms);
        }
    }
    ~Devsim() { stop(); }
    Devsim(const Devsim&) = delete;
    Devsim& operator=(const Devsim&) = delete;

    // Everything the device printed so far.
    std::string output() const { return read_file(m_out); }
    // "STOP" or "CONT" it, as Wine's runner does.
    void signal(const std::string& name) { ::kill(m_pid, name == "STOP" ? SIGSTOP : SIGCONT); }
    pid_t pid() const { return m_pid; }
    // Stops the device (SIGTERM) and waits for it; returns its wait status.
    int stop()
    {
        int status = -1;
        // A device that ignores SIGTERM must fail the test, not hang it.
        for (int i = 0; m_pid > 0 && ::waitpid(m_pid, &status, WNOHANG) == 0; ++i) {
            ::kill(m_pid, i < 1000 ? SIGTERM : SIGKILL);
            std::this_thread::sleep_for(5ms);
        }
        m_pid = -1;
        return status;
    }

private:
    std::string m_out;
    pid_t m_pid = -1;
};

// Runs check in a child process that file permissions bind (root drops to
// nobody there); true when the check returned true.
inline bool as_unprivileged(const std::function<bool()>& check)
{
    constexpr uid_t nobody = 65534;
    const pid_t pid = ::fork();
    if (pid == 0)
        ::_exit(::geteuid() != 0 || (::setgid(nobody) == 0 && ::setuid(nobody) == 0) ? !check()
                                                                                     : 2);
    int status = 0;
    return ::waitpid(pid, &status, 0) == pid && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

} // namespace qrv::test
