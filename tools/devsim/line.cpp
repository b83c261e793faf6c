#include "line.h"

#include "frame.h"
#include "vocabulary.h"
#include "wire.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <limits>
#include <map>
#include <poll.h>
#include <random>
#include <stdexcept>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

namespace qrv::devsim {

namespace {

using Clock = std::chrono::steady_clock;
constexpr Ns ns_per_ms = 1'000'000;

// RTU frames are delimited by silence on the line. A pty delivers a frame
// written at once in one piece, so a few ms is plenty and keeps replies
// prompt; the start of a request whose length its function tells is waited
// for longer, as an adapter may hand it over in pieces.
constexpr Ns frame_gap = 5 * ns_per_ms;
constexpr Ns piece_gap = 50 * ns_per_ms;
// Longest RTU frame; anything longer is line noise.
constexpr std::size_t max_frame = 256;
// While the line reports a hang-up, look again this often rather than spin.
constexpr Ns hangup_backoff = 100 * ns_per_ms;
// Noise is put on the line only while the tool takes in what it is sent:
// past this many unread bytes nobody is listening.
constexpr int max_unread = 256;
constexpr int most_noise_bytes = 3;

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

std::string with_note(std::string text, const std::string& note)
{
    if (!note.empty())
        text += "  (" + note + ")";
    return text;
}

void add_to(std::string& list, const std::string& more, const char* separator)
{
    list += (list.empty() ? "" : separator) + more;
}

// Device numbers from 1, in the command line's order: "1,3"; "-" for none.
std::string numbers(const std::vector<std::size_t>& devices)
{
    std::string text;
    for (const std::size_t device : devices)
        add_to(text, std::to_string(device + 1), ",");
    return text.empty() ? "-" : text;
}

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

// The machine-readable account of what the line heard and did, one event a
// line, its fields apart by tabs: the time in ms since the start, the event,
// the number of the frame received it concerns, the bytes, the devices, and
// what else there is to say ("-" for each that is empty).
class EventLog {
public:
    explicit EventLog(const std::string& path)
    {
        if (path.empty())
            return;
        m_file = std::fopen(path.c_str(), "w");
        if (!m_file)
            throw std::runtime_error("log " + path + ": " + std::strerror(errno));
    }
    ~EventLog()
    {
        if (m_file)
            std::fclose(m_file);
    }
    EventLog(const EventLog&) = delete;
    EventLog& operator=(const EventLog&) = delete;

    void write(Ns at, const char* event, int frame, const std::string& bytes,
               const std::string& devices, const std::string& detail)
    {
        if (!m_file)
            return;
        const auto field = [](const std::string& text) { return text.empty() ? "-" : text; };
        std::fprintf(m_file, "%lld\t%s\t%s\t%s\t%s\t%s\n", static_cast<long long>(at / ns_per_ms),
                     event, frame > 0 ? std::to_string(frame).c_str() : "-", field(bytes).c_str(),
                     field(devices).c_str(), field(detail).c_str());
        std::fflush(m_file);
    }

private:
    std::FILE* m_file = nullptr;
};

// The random draws of the faults, all from one seeded generator so that a
// run can be repeated.
class Dice {
public:
    explicit Dice(std::uint32_t seed) : m_random(seed) {}

    // How much the fault gives this time; none when it is off, misses, or
    // comes to 0.
    std::optional<long> draw(const Fault& fault)
    {
        if (!fault.on() ||
            (fault.chance < 1 && !std::bernoulli_distribution(fault.chance)(m_random)))
            return std::nullopt;
        const long amount = std::uniform_int_distribution<long>(fault.lo, fault.hi)(m_random);
        return amount > 0 ? std::optional(amount) : std::nullopt;
    }
    // The time to the next burst of noise, for bursts mean_ms apart on average.
    Ns interval(long mean_ms)
    {
        return static_cast<Ns>(std::exponential_distribution<double>(1.0 / mean_ms)(m_random) *
                               ns_per_ms);
    }
    Bytes noise()
    {
        Bytes bytes(std::uniform_int_distribution<std::size_t>(1, most_noise_bytes)(m_random));
        for (auto& byte : bytes)
            byte = static_cast<std::uint8_t>(std::uniform_int_distribution<int>(0, 255)(m_random));
        return bytes;
    }

private:
    std::mt19937 m_random;
};

// Receives frames from the pty master, hands them to the devices and sends
// the answers back, with the faults the options ask for.
class Line {
public:
    Line(int master, int slave, int sigfd, Bus& bus, const Options& opt)
        : m_master(master), m_slave(slave), m_sigfd(sigfd), m_bus(bus), m_opt(opt), m_log(opt.log),
          m_dice(opt.seed)
    {
        std::string ids;
        std::vector<std::size_t> all;
        for (std::size_t i = 0; i < opt.devices.size(); ++i) {
            add_to(ids, std::to_string(opt.devices[i].id), ",");
            all.push_back(i);
            if (opt.devices[i].appear.count() > 0)
                m_arrivals.push_back({opt.devices[i].appear.count() * ns_per_ms, i});
        }
        std::ranges::sort(m_arrivals);
        m_log.write(0, "start", 0, "", numbers(all),
                    "seed=" + std::to_string(opt.seed) + " wire=" + (opt.wire ? "on" : "off") +
                        " ids=" + ids);
        if (opt.noise_ms > 0)
            m_next_noise = m_dice.interval(opt.noise_ms);
    }

    void run()
    {
        while (true) {
            pollfd fds[2] = {{m_sigfd, POLLIN, 0}, {m_master, POLLIN, 0}};
            // Leaving the master out during a back-off keeps a hang-up from
            // waking poll over and over.
            if (now() < m_listen_again)
                fds[1].fd = -1;
            const Ns wait = std::clamp<Ns>(next_wake() - now(), 0, 60'000 * ns_per_ms);
            const timespec timeout{static_cast<time_t>(wait / 1'000'000'000),
                                   static_cast<long>(wait % 1'000'000'000)};
            const int n = ::ppoll(fds, 2, next_wake() == never ? nullptr : &timeout, nullptr);
            if (n < 0 && errno != EINTR)
                throw std::runtime_error(std::string("poll: ") + std::strerror(errno));
            if (n > 0 && (fds[0].revents & POLLIN))
                break;
            step(n > 0 ? fds[1].revents : 0);
        }
        m_log.write(now(), "stop", 0, "", "", "");
    }

private:
    static constexpr Ns never = std::numeric_limits<Ns>::max();

    // An answer waiting for its time, with what the printout and the log say of it.
    struct Pending {
        Bytes bytes;
        std::string note;
        int frame;
        std::string devices;
        std::string faults;
    };

    Ns now() const { return (Clock::now() - m_start).count(); }

    void step(short revents)
    {
        // The speed the tool has set by now paces what it sends as well.
        m_wire.pace(now(), m_opt.wire ? byte_ns(line_baud(m_slave)) : 0);
        if (revents)
            read_input(revents);
        if (!m_rx.empty() && now() >= frame_end())
            end_frame();
        send_due();
        put_noise();
        write_all(m_wire.take_due(now()));
        announce_arrivals();
    }

    Ns next_wake() const
    {
        Ns wake = never;
        if (!m_rx.empty())
            wake = frame_end();
        if (!m_out.empty())
            wake = std::min(wake, m_out.begin()->first);
        if (const auto due = m_wire.next_due())
            wake = std::min(wake, *due);
        if (now() < m_listen_again)
            wake = std::min(wake, m_listen_again);
        if (!m_arrivals.empty())
            wake = std::min(wake, m_arrivals.front().first);
        if (m_opt.noise_ms > 0)
            wake = std::min(wake, m_next_noise);
        return wake;
    }

    // When the frame being received is whole: after a silence, longer while
    // it is the start of a request whose function says it is not all there;
    // and not before its bytes could have crossed the wire.
    Ns frame_end() const
    {
        std::size_t wanted = 0;
        if (m_rx.size() >= 2 &&
            (m_rx[1] == fc_read_holding_registers || m_rx[1] == fc_write_single_register))
            wanted = frame_len;
        else if (m_rx.size() >= 2 && m_rx[1] == fc_encapsulated_interface)
            wanted = identify_request_len;
        const bool partial = m_rx.size() < 2 || m_rx.size() < wanted;
        return std::max(m_last_rx + (partial ? piece_gap : frame_gap), m_rx_end);
    }

    void read_input(short revents)
    {
        bool got = false;
        while (true) {
            std::uint8_t buf[256];
            const ssize_t n = ::read(m_master, buf, sizeof buf);
            if (n > 0) {
                got = true;
                heard(std::span(buf, static_cast<std::size_t>(n)));
                continue;
            }
            if (n < 0 && errno == EINTR)
                continue;
            // EAGAIN: drained. EIO or end: nobody holds the slave side.
            if (n == 0 || (n < 0 && errno != EAGAIN) || (!got && (revents & (POLLHUP | POLLERR))))
                m_listen_again = now() + hangup_backoff;
            break;
        }
    }

    // Bytes from the tool: on the wire for their time from now, or after the
    // bytes of the frame before them; lost with the frame if the line
    // carried other bytes meanwhile.
    void heard(std::span<const std::uint8_t> bytes)
    {
        const Ns from = m_rx.empty() ? now() : std::max(now(), m_rx_end);
        m_rx_end = from + static_cast<Ns>(bytes.size()) * m_wire.byte();
        m_rx_clash = m_rx_clash || m_wire.busy(from, m_rx_end);
        m_rx_len += bytes.size();
        // Keep only what a frame can hold; the length still tells noise apart.
        const std::size_t room = max_frame + 1 - std::min(m_rx.size(), max_frame + 1);
        m_rx.insert(m_rx.end(), bytes.begin(), bytes.begin() + std::min(room, bytes.size()));
        m_last_rx = now();
    }

    void end_frame()
    {
        const std::string hex = hex_bytes(m_rx);
        const int frame = ++m_frames;
        // An adapter's own receiver hears the frame as it goes out, whatever it is.
        if (m_opt.echo) {
            print_event("TX " + hex + "  (echo)");
            m_log.write(now(), "echo", frame, hex, "", "");
            write_all(m_rx);
        }
        std::string lost;
        if (m_rx_len > max_frame)
            lost = "ignored: " + std::to_string(m_rx_len) + " bytes, too long";
        else if (m_rx_clash)
            lost = "ignored: heard while the line carried other bytes";
        if (!lost.empty()) {
            print_event(with_note("RX " + hex + (m_rx_len > max_frame ? " ..." : ""), lost));
            m_log.write(m_last_rx, "rx", frame, hex, "", lost);
        } else {
            hand_over(frame, hex);
        }
        m_rx.clear();
        m_rx_len = 0;
        m_rx_clash = false;
    }

    // The frame to the devices, and their answers on their way.
    void hand_over(int frame, const std::string& hex)
    {
        BusOutcome out = m_bus.handle(m_rx, line_baud(m_slave), now() / ns_per_ms);
        for (const auto& change : out.id_changes)
            if (const auto ms = m_dice.draw(m_opt.restart))
                m_bus.deafen(change.device, now() / ns_per_ms + *ms);
        std::string note = out.note;
        if (!out.answers.empty() && m_dice.draw(m_opt.no_answer)) {
            add_to(note, "no answer: --no-answer", ", ");
            out.answers.clear();
        }
        print_event(with_note("RX " + hex, out.answers.empty() ? note : std::string{}));
        m_log.write(m_last_rx, "rx", frame, hex, numbers(out.took), note);
        for (const auto& change : out.id_changes) {
            print_event("qrv-devsim: ID " + std::to_string(change.to) + " (was " +
                        std::to_string(change.from) + ")");
            m_log.write(m_last_rx, "change", frame, "", numbers({change.device}),
                        "from=" + std::to_string(change.from) + " to=" + std::to_string(change.to));
        }
        // The answers begin once the request has crossed the wire and the
        // line has been quiet for a frame's gap. Devices that are slow answer
        // each at its own time; the others at once, over each other.
        const Ns begin =
            std::max(now(), m_rx_end + (m_opt.wire ? frame_gap_ns(line_baud(m_slave)) : 0));
        std::vector<Bytes> together;
        std::vector<std::size_t> at_once;
        for (auto& answer : out.answers) {
            if (const auto slow = m_dice.draw(m_opt.devices[answer.device].slow)) {
                schedule(begin, *slow, {std::move(answer.bytes)}, {answer.device}, frame, note);
            } else {
                together.push_back(std::move(answer.bytes));
                at_once.push_back(answer.device);
            }
        }
        if (!together.empty())
            schedule(begin, 0, together, at_once, frame, note);
    }

    void schedule(Ns begin, long slow_ms, const std::vector<Bytes>& answers,
                  const std::vector<std::size_t>& devices, int frame, std::string note)
    {
        Pending p{garble(answers), std::move(note), frame, numbers(devices), ""};
        if (answers.size() > 1)
            add_to(p.faults, "collision", " ");
        // A garbled answer has a wrong CRC already; spoiling it again could mend it.
        if (answers.size() == 1 && m_dice.draw(m_opt.bad_crc)) {
            p.bytes.back() ^= 0xFF;
            add_to(p.note, "CRC spoiled", ", ");
            add_to(p.faults, "crc", " ");
        }
        if (const auto extra = m_dice.draw(m_opt.extra)) {
            p.bytes.insert(p.bytes.end(), static_cast<std::size_t>(*extra), 0x00);
            add_to(p.note, std::to_string(*extra) + " extra bytes", ", ");
            add_to(p.faults, "extra=" + std::to_string(*extra), " ");
        }
        const long late = m_dice.draw(m_opt.late).value_or(0);
        if (late > 0)
            add_to(p.faults, "late=" + std::to_string(late), " ");
        if (slow_ms > 0)
            add_to(p.faults, "slow=" + std::to_string(slow_ms), " ");
        if (late + slow_ms > 0)
            add_to(p.note, std::to_string(late + slow_ms) + " ms late", ", ");
        m_out.emplace(begin + (late + slow_ms) * ns_per_ms, std::move(p));
    }

    // What went on the wire mixed with the frame being received, if any.
    void note_put(const Wire::Put& put)
    {
        if (!m_rx.empty() && put.start < m_rx_end)
            m_rx_clash = true;
    }

    void send_due()
    {
        while (!m_out.empty() && m_out.begin()->first <= now()) {
            const auto [due, p] = std::move(*m_out.begin());
            m_out.erase(m_out.begin());
            const Wire::Put put = m_wire.put(due, p.bytes);
            note_put(put);
            std::string faults = p.faults;
            if (put.overlap > 0)
                add_to(faults, "overlap=" + std::to_string(put.overlap), " ");
            print_event(with_note("TX " + hex_bytes(p.bytes), p.note));
            m_log.write(put.start, "tx", p.frame, hex_bytes(p.bytes), p.devices, faults);
        }
    }

    void put_noise()
    {
        while (m_opt.noise_ms > 0 && m_next_noise <= now()) {
            const Bytes bytes = m_dice.noise();
            int unread = 0;
            if (::ioctl(m_slave, FIONREAD, &unread) == 0 && unread < max_unread) {
                const Wire::Put put = m_wire.put(m_next_noise, bytes);
                note_put(put);
                print_event("TX " + hex_bytes(bytes) + "  (noise)");
                m_log.write(put.start, "noise", 0, hex_bytes(bytes), "",
                            put.overlap > 0 ? "overlap=" + std::to_string(put.overlap) : "");
            }
            m_next_noise += m_dice.interval(m_opt.noise_ms);
        }
    }

    // A device plugged in is said the moment it is.
    void announce_arrivals()
    {
        while (!m_arrivals.empty() && m_arrivals.front().first <= now()) {
            const auto [at, device] = m_arrivals.front();
            const std::string id = std::to_string(m_opt.devices[device].id);
            print_event("qrv-devsim: ID " + id + " connected");
            m_log.write(at, "connected", 0, "", numbers({device}), "id=" + id);
            m_arrivals.erase(m_arrivals.begin());
        }
    }

    void write_all(const Bytes& bytes)
    {
        std::size_t done = 0;
        const auto give_up = Clock::now() + std::chrono::milliseconds(1000);
        while (done < bytes.size()) {
            const ssize_t n = ::write(m_master, bytes.data() + done, bytes.size() - done);
            if (n > 0) {
                done += static_cast<std::size_t>(n);
                continue;
            }
            if (n < 0 && errno == EINTR)
                continue;
            if ((n < 0 && errno != EAGAIN) || Clock::now() > give_up) {
                print_event(std::string("TX failed: ") +
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
    EventLog m_log;
    Dice m_dice;
    Wire m_wire;
    const Clock::time_point m_start = Clock::now();
    // The frame being received: its bytes, how many came in all, when the
    // last came, when they are all across the wire, and whether the line
    // carried other bytes meanwhile.
    Bytes m_rx;
    std::size_t m_rx_len = 0;
    Ns m_last_rx = 0;
    Ns m_rx_end = 0;
    bool m_rx_clash = false;
    int m_frames = 0; // received so far, numbering them in the log
    Ns m_listen_again = 0;
    std::vector<std::pair<Ns, std::size_t>> m_arrivals; // devices still to be plugged in
    std::multimap<Ns, Pending> m_out;                   // answers by when they go out
    Ns m_next_noise = never;
};

} // namespace

void print_line(const std::string& text)
{
    std::fputs(text.c_str(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

void print_event(const std::string& text)
{
    print_line(time_stamp() + " " + text);
}

void run_line(int master, int slave, int sigfd, Bus& bus, const Options& opt)
{
    Line(master, slave, sigfd, bus, opt).run();
}

} // namespace qrv::devsim
