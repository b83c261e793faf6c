// qrv-devsim: a Modbus RTU device on a pseudo-terminal, for trying the ID
// tool and its tests without hardware.

#include "device.h"
#include "line.h"
#include "options.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <pty.h>
#include <signal.h>
#include <stdexcept>
#include <sys/signalfd.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>
#include <utility>

namespace qrv::devsim {
namespace {

namespace fs = std::filesystem;

class Fd {
public:
    explicit Fd(int fd = -1) : m_fd(fd) {}
    ~Fd()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    int get() const { return m_fd; }

private:
    int m_fd;
};

// The symbolic link the tool opens. Removed on the way out, unless someone
// has pointed it elsewhere meanwhile.
class Link {
public:
    Link(const std::string& path, const std::string& target) : m_path(path), m_target(target)
    {
        const fs::path parent = fs::path(path).parent_path();
        if (!parent.empty())
            fs::create_directories(parent);
        struct stat st {};
        if (::lstat(path.c_str(), &st) == 0 && !S_ISLNK(st.st_mode))
            throw std::runtime_error(path + " exists and is not a symbolic link; not replacing it");
        // Built aside and renamed over, so the path is never missing for a
        // tool that is already looking at it.
        const std::string tmp = path + ".devsim-" + std::to_string(::getpid());
        ::unlink(tmp.c_str());
        if (::symlink(target.c_str(), tmp.c_str()) != 0)
            throw std::runtime_error("symlink " + tmp + ": " + std::strerror(errno));
        if (::rename(tmp.c_str(), path.c_str()) != 0) {
            const int err = errno;
            ::unlink(tmp.c_str());
            throw std::runtime_error("rename to " + path + ": " + std::strerror(err));
        }
    }
    ~Link()
    {
        std::error_code ec;
        if (fs::read_symlink(m_path, ec) == m_target)
            ::unlink(m_path.c_str());
    }
    Link(const Link&) = delete;
    Link& operator=(const Link&) = delete;

private:
    std::string m_path;
    std::string m_target;
};

int run(const Options& opt)
{
    // Taking the stop signals through a descriptor lets the loop end in the
    // ordinary way, so the link is always removed. They are blocked before
    // the link exists so a stop right after it appears is not lost.
    sigset_t stop_signals;
    sigemptyset(&stop_signals);
    sigaddset(&stop_signals, SIGINT);
    sigaddset(&stop_signals, SIGTERM);
    sigaddset(&stop_signals, SIGHUP);
    if (sigprocmask(SIG_BLOCK, &stop_signals, nullptr) != 0)
        throw std::runtime_error(std::string("sigprocmask: ") + std::strerror(errno));
    Fd sigfd(signalfd(-1, &stop_signals, SFD_CLOEXEC | SFD_NONBLOCK));
    if (sigfd.get() < 0)
        throw std::runtime_error(std::string("signalfd: ") + std::strerror(errno));
    // Whoever reads our log may go away; that must not kill the device.
    ::signal(SIGPIPE, SIG_IGN);

    int master_fd = -1;
    int slave_fd = -1;
    termios raw{};
    cfmakeraw(&raw);
    if (openpty(&master_fd, &slave_fd, nullptr, &raw, nullptr) != 0)
        throw std::runtime_error(std::string("openpty: ") + std::strerror(errno));
    const Fd master(master_fd);
    // Held open for the whole run: the pty and its raw settings survive
    // between the tool's openings, and the master sees no hang-up when the
    // tool closes.
    const Fd slave(slave_fd);
    ::fcntl(master.get(), F_SETFD, FD_CLOEXEC);
    ::fcntl(slave.get(), F_SETFD, FD_CLOEXEC);
    ::fcntl(master.get(), F_SETFL, ::fcntl(master.get(), F_GETFL) | O_NONBLOCK);
    char name[128] = {};
    if (ttyname_r(slave.get(), name, sizeof name) != 0)
        throw std::runtime_error("ttyname of the pty slave failed");

    {
        const Link link(opt.link, name);
        Bus bus;
        std::string ids;
        for (const DeviceOptions& d : opt.devices) {
            bus.add(Device(d.id, {opt.reply_from_old, opt.keep_id, opt.refuse}, d.identity), d.baud,
                    d.appear.count());
            ids += (ids.empty() ? "" : ", ") + std::to_string(d.id);
            if (d.baud != 0)
                ids += " (" + std::to_string(d.baud) + " baud)";
            if (d.appear.count() > 0)
                ids += " (from " + std::to_string(d.appear.count()) + " ms)";
        }
        print_line(std::string("qrv-devsim: ") + (opt.devices.size() > 1 ? "IDs " : "ID ") + ids +
                   " on " + opt.link + " -> " + name);
        run_line(master.get(), slave.get(), sigfd.get(), bus, opt);
    }
    print_event("qrv-devsim: stopped, link removed");
    return 0;
}

} // namespace
} // namespace qrv::devsim

int main(int argc, char** argv)
{
    using namespace qrv::devsim;
    const ParseResult parsed = parse_options(std::vector<std::string>(argv + 1, argv + argc));
    if (std::holds_alternative<ShowHelp>(parsed)) {
        std::fputs(usage_text().c_str(), stdout);
        return 0;
    }
    if (const auto* err = std::get_if<UsageError>(&parsed)) {
        std::fprintf(stderr, "qrv-devsim: %s\nTry 'qrv-devsim --help'.\n", err->message.c_str());
        return 2;
    }
    try {
        return run(std::get<Options>(parsed));
    } catch (const std::exception& e) {
        std::fprintf(stderr, "qrv-devsim: %s\n", e.what());
        return 1;
    }
}
