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

// posix_openpt rather than openpty: <pty.h> here would find this folder's
// own pty.h instead of the system one.
Pty::Pty()
{
    char name[256] = {};
    m_master = ::posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (m_master >= 0 && ::grantpt(m_master) == 0 && ::unlockpt(m_master) == 0 &&
        ::ptsname_r(m_master, name, sizeof name) == 0)
        m_slave = ::open(name, O_RDWR | O_NOCTTY);
    termios raw{};
    if (m_slave < 0 || ::tcgetattr(m_slave, &raw) != 0) {
        const std::string why = std::string("pseudo-terminal: ") + std::strerror(errno);
        close_master();
        if (m_slave >= 0)
            ::close(m_slave);
        throw std::runtime_error(why);
    }
    cfmakeraw(&raw);
    ::tcsetattr(m_slave, TCSANOW, &raw);
    m_slave_path = name;
}

Pty::~Pty()
{
    if (!m_link.empty())
        ::unlink(m_link.c_str());
    close_master();
    if (m_slave >= 0)
        ::close(m_slave);
}

void Pty::link(const std::string& link_path)
{
    fs::create_directories(fs::path(link_path).parent_path());
    ::unlink(link_path.c_str());
    if (::symlink(m_slave_path.c_str(), link_path.c_str()) != 0)
        throw std::runtime_error("symlink " + link_path + ": " + std::strerror(errno));
    m_link = link_path;
}

void Pty::write(const Bytes& bytes)
{
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(m_master, bytes.data() + done, bytes.size() - done);
        if (n > 0) {
            done += static_cast<std::size_t>(n);
        } else if (n < 0 && errno != EAGAIN && errno != EINTR) {
            throw std::runtime_error(std::string("pty write: ") + std::strerror(errno));
        } else {
            pollfd p{m_master, POLLOUT, 0};
            ::poll(&p, 1, 100);
        }
    }
}

Bytes Pty::read(std::size_t count, milliseconds timeout)
{
    Bytes got;
    const auto end = steady_clock::now() + timeout;
    while (got.size() < count && m_master >= 0) {
        const auto left = duration_cast<milliseconds>(end - steady_clock::now()).count();
        if (left <= 0)
            break;
        pollfd p{m_master, POLLIN, 0};
        if (::poll(&p, 1, static_cast<int>(left)) <= 0)
            continue;
        std::uint8_t buf[256];
        const ssize_t n = ::read(m_master, buf, std::min(sizeof buf, count - got.size()));
        if (n > 0)
            got.insert(got.end(), buf, buf + n);
        else if (n == 0 || (errno != EAGAIN && errno != EINTR))
            break;
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
    : m_link(link_path)
{
    int pipefd[2];
    if (::pipe(pipefd) != 0)
        throw std::runtime_error("pipe");
    ::unlink(link_path.c_str());
    std::vector<std::string> args{QRV_DEVSIM_PATH, "--link", link_path};
    args.insert(args.end(), options.begin(), options.end());
    m_pid = ::fork();
    if (m_pid == 0) {
        ::dup2(pipefd[1], 1);
        ::dup2(pipefd[1], 2);
        ::close(pipefd[0]);
        ::close(pipefd[1]);
        std::vector<char*> argv;
        for (auto& a : args)
            argv.push_back(a.data());
        argv.push_back(nullptr);
        ::execv(argv[0], argv.data());
        ::_exit(127);
    }
    ::close(pipefd[1]);
    m_out = pipefd[0];
    // Not inherited by later children, which would otherwise hold it open.
    fcntl(m_out, F_SETFD, FD_CLOEXEC);
    fcntl(m_out, F_SETFL, fcntl(m_out, F_GETFL) | O_NONBLOCK);
    const auto end = steady_clock::now() + seconds(10);
    while (!fs::is_symlink(link_path)) {
        const bool exited = ::waitpid(m_pid, nullptr, WNOHANG) == m_pid;
        if (exited || steady_clock::now() > end) {
            // The destructor does not run for a throwing constructor: clean up here.
            if (exited)
                m_pid = -1;
            stop();
            const std::string text = output();
            ::close(m_out);
            throw std::runtime_error("qrv-devsim did not come up: " + text);
        }
        std::this_thread::sleep_for(milliseconds(5));
    }
}

Devsim::~Devsim()
{
    stop();
    if (m_out >= 0)
        ::close(m_out);
}

std::string Devsim::output()
{
    char buf[4096];
    ssize_t n;
    while (m_out >= 0 && (n = ::read(m_out, buf, sizeof buf)) > 0)
        m_text.append(buf, static_cast<std::size_t>(n));
    return m_text;
}

int Devsim::stop()
{
    if (m_pid <= 0)
        return -1;
    ::kill(m_pid, SIGTERM);
    int status = 0;
    // A device that ignores SIGTERM must fail the test, not hang it.
    const auto end = steady_clock::now() + seconds(5);
    while (::waitpid(m_pid, &status, WNOHANG) == 0) {
        if (steady_clock::now() > end) {
            ::kill(m_pid, SIGKILL);
            ::waitpid(m_pid, &status, 0);
            break;
        }
        std::this_thread::sleep_for(milliseconds(5));
    }
    m_pid = -1;
    output();
    return status;
}

TempDir::TempDir()
{
    std::string tmpl = (fs::temp_directory_path() / "qrv-test-XXXXXX").string();
    if (!::mkdtemp(tmpl.data()))
        throw std::runtime_error("mkdtemp");
    m_path = tmpl;
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
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

void write_file(const std::string& path, const std::string& bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << bytes;
}

} // namespace qrv::test
