// qrv-devsim: a Modbus RTU device on a pseudo-terminal, for trying the ID
// tool and its tests without hardware.

#include "device.h"
#include "frame.h"
#include "options.h"
#include "vocabulary.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <deque>
#include <fcntl.h>
#include <filesystem>
#include <poll.h>
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
using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

// RTU frames are delimited by silence on the line. A pty delivers a frame
// written at once in one piece, so a few ms is plenty and keeps replies prompt.
constexpr milliseconds frame_gap{5};
// Longest RTU frame; anything longer is line noise.
constexpr std::size_t max_frame = 256;
// While the line reports a hang-up, look again this often rather than spin.
constexpr milliseconds hangup_backoff{100};

void print_line(const std::string& text)
{
    std::fputs(text.c_str(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

std::string time_stamp()
{
    using namespace std::chrono;
    const auto now = system_clock::now();
    const std::time_t secs = system_clock::to_time_t(now);
    const auto ms = duration_cast<milliseconds>(now.time_since_epoch()).count() % 1000;
    std::tm local{};
    localtime_r(&secs, &local);
    char buf[32];
    std::snprintf(buf, sizeof buf, "%02d:%02d:%02d.%03d", local.tm_hour, local.tm_min, local.tm_sec,
                  static_cast<int>(ms));
    return buf;
}

void log_event(const std::string& text)
{
    print_line(time_stamp() + " " + text);
}

std::string with_note(std::string text, const std::string& note)
{
    if (!note.empty())
        text += "  (" + note + ")";
    return text;
}

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

// The speed the tool set the line to, as its serial settings left it on the
// slave side; 0 for a speed no device can be set to, or when input and output
// differ.
unsigned line_baud(int slave)
{
    termios tio{};
    if (::tcgetattr(slave, &tio) != 0)
        return 0;
    const speed_t out = cfgetospeed(&tio);
    const speed_t in = cfgetispeed(&tio);
    // An input speed of 0 means "as the output".
    if (in != out && in != B0)
        return 0;
    // glibc's cfsetspeed takes a speed in bits per second as well as its code.
    for (const std::int32_t baud : line_speeds) {
        termios probe{};
        if (cfsetspeed(&probe, static_cast<speed_t>(baud)) == 0 && cfgetospeed(&probe) == out)
            return static_cast<unsigned>(baud);
    }
    return 0;
}

// Receives frames from the pty master, hands them to the devices and sends
// the answer back, with the faults the options ask for.
class Line {
public:
    Line(int master, int slave, int sigfd, Bus& bus, const Options& opt)
        : m_master(master), m_slave(slave), m_sigfd(sigfd), m_bus(bus), m_opt(opt)
    {
        for (const DeviceOptions& d : opt.devices)
            if (d.appear.count() > 0)
                m_arrivals.push_back({m_start + d.appear, d.id});
        std::ranges::sort(m_arrivals);
    }

    void run()
    {
        while (true) {
            pollfd fds[2] = {{m_sigfd, POLLIN, 0}, {m_master, POLLIN, 0}};
            // Leaving the master out during a back-off keeps a hang-up from
            // waking poll over and over.
            if (Clock::now() < m_listen_again)
                fds[1].fd = -1;
            const int n = ::poll(fds, 2, poll_timeout());
            if (n < 0 && errno != EINTR)
                throw std::runtime_error(std::string("poll: ") + std::strerror(errno));
            if (n > 0 && (fds[0].revents & POLLIN))
                return;
            if (n > 0 && fds[1].revents)
                read_input(fds[1].revents);
            if (!m_rx.empty() && Clock::now() - m_last_rx >= frame_gap)
                end_frame();
            send_due();
            announce_arrivals();
        }
    }

private:
    struct Pending {
        Clock::time_point due;
        Bytes bytes;
        std::string note;
    };

    int poll_timeout() const
    {
        Clock::time_point wake = Clock::time_point::max();
        if (!m_rx.empty())
            wake = m_last_rx + frame_gap;
        if (!m_out.empty())
            wake = std::min(wake, m_out.front().due);
        if (Clock::now() < m_listen_again)
            wake = std::min(wake, m_listen_again);
        if (!m_arrivals.empty())
            wake = std::min(wake, m_arrivals.front().first);
        if (wake == Clock::time_point::max())
            return -1;
        const auto left = std::chrono::ceil<milliseconds>(wake - Clock::now()).count();
        return static_cast<int>(std::clamp<long long>(left, 0, 60000));
    }

    void read_input(short revents)
    {
        bool got = false;
        while (true) {
            std::uint8_t buf[256];
            const ssize_t n = ::read(m_master, buf, sizeof buf);
            if (n > 0) {
                got = true;
                m_rx_len += static_cast<std::size_t>(n);
                // Keep only what a frame can hold; the length still tells noise apart.
                const std::size_t room = max_frame + 1 - std::min(m_rx.size(), max_frame + 1);
                m_rx.insert(m_rx.end(), buf, buf + std::min(room, static_cast<std::size_t>(n)));
                continue;
            }
            if (n < 0 && errno == EINTR)
                continue;
            // EAGAIN: drained. EIO or end: nobody holds the slave side.
            if (n == 0 || (n < 0 && errno != EAGAIN) || (!got && (revents & (POLLHUP | POLLERR))))
                m_listen_again = Clock::now() + hangup_backoff;
            break;
        }
        if (got)
            m_last_rx = Clock::now();
    }

    void end_frame()
    {
        const std::string hex = hex_bytes(m_rx);
        // An adapter's own receiver hears the frame as it goes out, whatever it is.
        if (m_opt.echo) {
            log_event("TX " + hex + "  (echo)");
            write_all(m_rx);
        }
        if (m_rx_len > max_frame) {
            log_event(with_note("RX " + hex + " ...",
                                "ignored: " + std::to_string(m_rx_len) + " bytes, too long"));
            m_rx.clear();
            m_rx_len = 0;
            return;
        }
        if (Clock::now() < m_restarted) {
            log_event(with_note("RX " + hex, "ignored: restarting"));
            m_rx.clear();
            m_rx_len = 0;
            return;
        }
        BusOutcome out = m_bus.handle(m_rx, line_baud(m_slave), since_start().count());
        m_rx.clear();
        m_rx_len = 0;
        if (!out.id_changes.empty())
            m_restarted = Clock::now() + milliseconds(m_opt.restart.hi);

        std::string note = out.note;
        if (out.reply && m_opt.no_answer.on()) {
            note = note.empty() ? "no answer: --no-answer" : note + ", no answer: --no-answer";
            out.reply.reset();
        }
        log_event(with_note("RX " + hex, out.reply ? std::string{} : note));
        for (const auto& change : out.id_changes)
            log_event("qrv-devsim: ID " + std::to_string(change.to) + " (was " +
                      std::to_string(change.from) + ")");
        if (!out.reply)
            return;

        Bytes reply = std::move(*out.reply);
        std::string tx_note = note;
        auto add = [&tx_note](const std::string& more) {
            tx_note = tx_note.empty() ? more : tx_note + ", " + more;
        };
        // A garbled answer has a wrong CRC already; spoiling it again could mend it.
        if (m_opt.bad_crc.on() && !out.collision) {
            reply.back() ^= 0xFF;
            add("CRC spoiled");
        }
        if (m_opt.extra.on()) {
            reply.insert(reply.end(), static_cast<std::size_t>(m_opt.extra.hi), 0x00);
            add(std::to_string(m_opt.extra.hi) + " extra bytes");
        }
        if (m_opt.late.on())
            add(std::to_string(m_opt.late.hi) + " ms late");
        m_out.push_back({Clock::now() + milliseconds(m_opt.late.hi), std::move(reply), tx_note});
    }

    milliseconds since_start() const
    {
        return std::chrono::duration_cast<milliseconds>(Clock::now() - m_start);
    }

    // A device plugged in is said the moment it is.
    void announce_arrivals()
    {
        while (!m_arrivals.empty() && m_arrivals.front().first <= Clock::now()) {
            log_event("qrv-devsim: ID " + std::to_string(m_arrivals.front().second) + " connected");
            m_arrivals.erase(m_arrivals.begin());
        }
    }

    void send_due()
    {
        while (!m_out.empty() && m_out.front().due <= Clock::now()) {
            const Pending p = std::move(m_out.front());
            m_out.pop_front();
            log_event(with_note("TX " + hex_bytes(p.bytes), p.note));
            write_all(p.bytes);
        }
    }

    void write_all(const Bytes& bytes)
    {
        std::size_t done = 0;
        const auto give_up = Clock::now() + milliseconds(1000);
        while (done < bytes.size()) {
            const ssize_t n = ::write(m_master, bytes.data() + done, bytes.size() - done);
            if (n > 0) {
                done += static_cast<std::size_t>(n);
                continue;
            }
            if (n < 0 && errno == EINTR)
                continue;
            if ((n < 0 && errno != EAGAIN) || Clock::now() > give_up) {
                log_event(std::string("TX failed: ") +
                          (n < 0 ? std::strerror(errno) : "line full"));
                return;
            }
            pollfd p{m_master, POLLOUT, 0};
            ::poll(&p, 1, 10);
        }
    }

    int m_master;
    int m_slave;
    int m_sigfd;
    Bus& m_bus;
    const Options& m_opt;
    Bytes m_rx;
    std::size_t m_rx_len = 0;
    Clock::time_point m_last_rx{};
    Clock::time_point m_listen_again{};
    Clock::time_point m_restarted{}; // deaf until then, as firmware that restarts
    const Clock::time_point m_start = Clock::now();
    std::vector<std::pair<Clock::time_point, int>> m_arrivals; // devices still to be plugged in
    std::deque<Pending> m_out;
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
        Line(master.get(), slave.get(), sigfd.get(), bus, opt).run();
    }
    log_event("qrv-devsim: stopped, link removed");
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
