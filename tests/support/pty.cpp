#include "pty.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <poll.h>
#include <signal.h>
#include <sstream>
#include <stdexcept>
#include <sys/wait.h>
#include <termios.h>
#include <thread>
#include <unistd.h>

namespace qrv::test {

namespace fs = std::filesystem;
using namespace std::chrono;

namespace {

[[noreturn]] void fail(const std::string& what)
{
    throw std::runtime_error(what + ": " + std::strerror(errno));
}

} // namespace

// posix_openpt rather than openpty: <pty.h> here would find this folder's
// own pty.h instead of the system one.
Pty::Pty()
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

Pty::~Pty()
{
    if (!m_link.empty())
        ::unlink(m_link.c_str());
    close_master();
    ::close(m_slave);
}

void Pty::link(const std::string& link_path)
{
    fs::create_directories(fs::path(link_path).parent_path());
    ::unlink(link_path.c_str());
    if (::symlink(m_slave_path.c_str(), link_path.c_str()) != 0)
        fail("symlink " + link_path);
    m_link = link_path;
}

void Pty::write(const Bytes& bytes)
{
    for (std::size_t done = 0; done < bytes.size();) {
        const ssize_t n = ::write(m_master, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno != EAGAIN && errno != EINTR)
            fail("pty write");
        done += static_cast<std::size_t>(std::max<ssize_t>(n, 0));
        pollfd p{m_master, POLLOUT, 0};
        ::poll(&p, 1, 100);
    }
}

Bytes Pty::read(std::size_t count, milliseconds timeout)
{
    Bytes got;
    for (const auto end = steady_clock::now() + timeout; got.size() < count && m_master >= 0;) {
        std::uint8_t buf[256];
        const ssize_t n = ::read(m_master, buf, std::min(sizeof buf, count - got.size()));
        if (n > 0) {
            got.insert(got.end(), buf, buf + n);
            continue;
        }
        const auto left = duration_cast<milliseconds>(end - steady_clock::now()).count();
        if (n == 0 || (errno != EAGAIN && errno != EINTR) || left <= 0)
            break;
        pollfd p{m_master, POLLIN, 0};
        ::poll(&p, 1, static_cast<int>(left));
    }
    return got;
}

void Pty::close_master()
{
    if (m_master >= 0)
        ::close(m_master);
    m_master = -1;
}

Devsim::Devsim(const std::string& link_path, const std::vector<std::string>& options)
{
    int out[2];
    if (::pipe2(out, O_CLOEXEC) != 0)
        fail("pipe");
    ::unlink(link_path.c_str());
    std::vector<std::string> args{QRV_DEVSIM_PATH, "--link", link_path};
    args.insert(args.end(), options.begin(), options.end());
    if ((m_pid = ::fork()) == 0) {
        ::dup2(out[1], 1);
        ::dup2(out[1], 2);
        std::vector<char*> argv;
        for (auto& a : args)
            argv.push_back(a.data());
        argv.push_back(nullptr);
        ::execv(argv[0], argv.data());
        ::_exit(127);
    }
    ::close(out[1]);
    m_out = out[0];
    fcntl(m_out, F_SETFL, O_NONBLOCK);
    for (const auto end = steady_clock::now() + seconds(10); !fs::is_symlink(link_path);) {
        if (::waitpid(m_pid, nullptr, WNOHANG) == m_pid || steady_clock::now() > end) {
            stop(); // no destructor runs for a constructor that throws
            ::close(m_out);
            throw std::runtime_error("qrv-devsim did not come up");
        }
        std::this_thread::sleep_for(milliseconds(5));
    }
}

Devsim::~Devsim()
{
    stop();
    ::close(m_out);
}

std::string Devsim::output()
{
    char buf[4096];
    for (ssize_t n; (n = ::read(m_out, buf, sizeof buf)) > 0;)
        m_text.append(buf, static_cast<std::size_t>(n));
    return m_text;
}

int Devsim::stop()
{
    int status = -1;
    if (m_pid > 0 && ::kill(m_pid, SIGTERM) == 0) {
        // A device that ignores SIGTERM must fail the test, not hang it.
        const auto end = steady_clock::now() + seconds(5);
        while (::waitpid(m_pid, &status, WNOHANG) == 0) {
            if (steady_clock::now() > end)
                ::kill(m_pid, SIGKILL);
            std::this_thread::sleep_for(milliseconds(5));
        }
    }
    m_pid = -1;
    output();
    return status;
}

TempDir::TempDir() : m_path((fs::temp_directory_path() / "qrv-test-XXXXXX").string())
{
    if (!::mkdtemp(m_path.data()))
        fail("mkdtemp");
}

TempDir::~TempDir()
{
    std::error_code ec;
    // Tests may leave folders without write permission behind.
    for (auto& e : fs::recursive_directory_iterator(m_path, ec))
        fs::permissions(e.path(), fs::perms::owner_all, fs::perm_options::add, ec);
    fs::permissions(m_path, fs::perms::owner_all, fs::perm_options::add, ec);
    fs::remove_all(m_path, ec);
}

std::string read_file(const std::string& path)
{
    std::ostringstream s;
    s << std::ifstream(path, std::ios::binary).rdbuf();
    return s.str();
}

void write_file(const std::string& path, const std::string& bytes)
{
    std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

bool as_unprivileged(const std::function<bool()>& check)
{
    constexpr uid_t nobody = 65534;
    const pid_t pid = ::fork();
    if (pid == 0)
        ::_exit((::geteuid() != 0 || (::setgid(nobody) == 0 && ::setuid(nobody) == 0)) && check()
                    ? 0
                    : 1);
    int status = 0;
    return ::waitpid(pid, &status, 0) == pid && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

} // namespace qrv::test
