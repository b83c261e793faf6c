// Faults around an ID change: a line whose device vanishes or chatters, a
// day log file that cannot take the record, a settings file that cannot be
// written or read. Real pseudo-terminals and real files throughout.
#include "change_command.h"
#include "line_rig.h"
#include "qt_app.h"
#include "reference_crc.h"

#include <QComboBox>
#include <QPushButton>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <gtest/gtest.h>
#include <random>
#include <sys/resource.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

using namespace qrv;
using namespace qrv::test;
using namespace std::chrono;
namespace fs = std::filesystem;

namespace {

using Strings = std::vector<std::string>;

// The texts as a technician reads them, written out here rather than taken
// from the product, so a changed text fails.
const std::string said_success = "Modbus 新ID 设置成功  ";
const std::string said_mismatch = "数据校验错误，设置失败，请重新设置";
const std::string said_no_reply = "设置无响应，请重新设置";
const std::string said_log_failed = "日志文件写入失败，请检查程序目录是否可写";
const std::string said_settings_failed = "参数文件保存失败，请检查程序目录是否可写";
const std::string entry_tail = "************************************\r\n\r\n";

Bytes with_crc(Bytes six)
{
    const std::uint16_t crc = reference_crc(six.data(), 6);
    six.push_back(static_cast<std::uint8_t>(crc & 0xFF));
    six.push_back(static_cast<std::uint8_t>(crc >> 8));
    return six;
}

Bytes request(std::uint8_t old_id, std::uint8_t new_id)
{
    return with_crc({old_id, 0x06, 0x00, 0x0A, 0x00, new_id});
}

Bytes echo(std::uint8_t new_id)
{
    return request(new_id, new_id);
}

// What the tool must conclude from the bytes waiting after the wait.
Verdict judge(const Bytes& waiting, std::uint8_t new_id)
{
    if (waiting.size() != 8)
        return Verdict::no_reply;
    const std::uint16_t crc = reference_crc(waiting.data(), 6);
    const bool crc_ok = waiting[6] == (crc & 0xFF) && waiting[7] == (crc >> 8);
    return waiting[0] == new_id && crc_ok ? Verdict::success : Verdict::mismatch;
}

const std::string& verdict_text(Verdict verdict)
{
    return verdict == Verdict::success    ? said_success
           : verdict == Verdict::mismatch ? said_mismatch
                                          : said_no_reply;
}

Strings verdict_messages(Verdict verdict)
{
    return verdict == Verdict::success ? Strings{} : Strings{verdict_text(verdict)};
}

std::string hex(const Bytes& bytes)
{
    std::string text;
    for (const auto b : bytes) {
        char part[4];
        std::snprintf(part, sizeof part, "%X", b);
        text += (text.empty() ? "" : " ") + std::string(part);
    }
    return text;
}

Bytes random_bytes(std::mt19937& rng, std::size_t min, std::size_t max)
{
    Bytes bytes(std::uniform_int_distribution<std::size_t>(min, max)(rng));
    for (auto& b : bytes)
        b = static_cast<std::uint8_t>(rng());
    return bytes;
}

std::size_t pick(std::mt19937& rng, std::size_t min, std::size_t max)
{
    return std::uniform_int_distribution<std::size_t>(min, max)(rng);
}

Bytes concat(Bytes a, const Bytes& b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

std::string record(const std::string& entry)
{
    return "\"" + entry + "\"\r\n";
}

} // namespace

// ---------------------------------------------------------------------------
// The line

TEST(LineFaults, DeviceVanishingDuringTheWaitLeavesTheWindowUsable)
{
    Rig rig;
    auto device = std::make_unique<LineDevice>(rig.line, always(echo(1), milliseconds(600)));
    rig.open_port();
    // The device is gone before it answers: its end of the line closes.
    rig.during_wait(300, [&] {
        device.reset();
        rig.line.close_master();
    });
    const auto took = rig.press();
    EXPECT_GE(took, milliseconds(1000));
    EXPECT_LT(took, milliseconds(1500));
    EXPECT_EQ(rig.messages.messages, Strings{said_no_reply});
    EXPECT_EQ(rig.form().log_text(), no_reply_entry);

    // A press on the dead line still ends in a verdict.
    rig.press();
    EXPECT_EQ(rig.messages.messages, (Strings{said_no_reply, said_no_reply}));
    EXPECT_EQ(rig.form().log_text(), no_reply_entry);

    // The technician closes the port, plugs in another device and goes on.
    ASSERT_EQ(rig.form().lamp_color(), 255);
    rig.form().Command_uart->click();
    EXPECT_EQ(rig.form().lamp_color(), 0);
    Pty replug;
    replug.link(rig.dir.file("ports/COM9"));
    LineDevice replugged(replug, always(echo(1)));
    rig.open_port();
    rig.press();
    EXPECT_EQ(replugged.requests(), std::vector<Bytes>{request(17, 1)});
    EXPECT_EQ(rig.form().log_text(), success_entry);
    EXPECT_EQ(rig.messages.messages.size(), 2U);
    EXPECT_EQ(rig.day_log(),
              record(no_reply_entry) + record(no_reply_entry) + record(success_entry));
}

// A few chattering devices on a real line with the real wait.
TEST(LineFaults, ChatteringDeviceOnARealLine)
{
    std::mt19937 rng(20261206);
    using DeviceOn = std::function<LineDevice::Behaviour(Pty&)>;
    auto answers = [](Bytes bytes) { return DeviceOn([=](Pty&) { return always(bytes); }); };
    // The head goes out 100 ms after the request, the tail gap later.
    auto in_two = [](Bytes head, Bytes tail, milliseconds gap) {
        return DeviceOn([=](Pty& line) {
            return [=, &line](const Bytes&, int) {
                std::this_thread::sleep_for(milliseconds(100));
                line.write(head);
                return LineDevice::Answer{tail, gap};
            };
        });
    };

    const Bytes stale = random_bytes(rng, 1, 16);
    const Bytes noise = random_bytes(rng, 1, 6);
    Bytes changed = echo(1);
    changed[pick(rng, 0, 7)] ^= static_cast<std::uint8_t>(pick(rng, 1, 255));
    Bytes inside = echo(1);
    const Bytes inserted = random_bytes(rng, 1, 3);
    inside.insert(inside.begin() + static_cast<std::ptrdiff_t>(pick(rng, 1, 7)), inserted.begin(),
                  inserted.end());
    const Bytes trailing = random_bytes(rng, 1, 6);
    const auto cut = static_cast<std::ptrdiff_t>(pick(rng, 1, 7));
    const Bytes whole = echo(1);
    const Bytes head(whole.begin(), whole.begin() + cut);
    const Bytes tail(whole.begin() + cut, whole.end());

    const struct {
        const char* name;
        Bytes before_press; // sits on the line before the request goes out
        DeviceOn device;
        Bytes in_time; // what has come when the wait ends
    } rows[] = {
        {"stale bytes before the request", stale, answers(echo(1)), echo(1)},
        {"noise ahead of the echo", {}, answers(concat(noise, echo(1))), concat(noise, echo(1))},
        {"a byte of the echo changed", {}, answers(changed), changed},
        {"bytes inside the echo", {}, answers(inside), inside},
        {"bytes after the echo", {}, answers(concat(echo(1), trailing)), concat(echo(1), trailing)},
        {"echo in two pieces within the wait", {}, in_two(head, tail, milliseconds(500)), echo(1)},
        {"second piece after the wait", {}, in_two(head, tail, milliseconds(1200)), head},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        Rig rig;
        LineDevice device(rig.line, row.device(rig.line));
        rig.open_port();
        if (!row.before_press.empty()) {
            rig.line.write(row.before_press);
            std::this_thread::sleep_for(milliseconds(50));
        }
        rig.press();
        const Verdict verdict = judge(row.in_time, 1);
        EXPECT_EQ(device.requests(), std::vector<Bytes>{request(17, 1)});
        EXPECT_EQ(rig.messages.messages, verdict_messages(verdict));
        const std::string log = rig.form().log_text();
        EXPECT_TRUE(log.ends_with(verdict_text(verdict) + entry_tail)) << log;
        // The reply line shows exactly the bytes that were judged.
        const std::string reply_line = "响应数据：" + hex(row.in_time) + "\r\n";
        EXPECT_EQ(log.find(reply_line) != std::string::npos, row.in_time.size() == 8) << log;
        EXPECT_EQ(rig.day_log(), record(log));
    }
}

// ---------------------------------------------------------------------------
// The day log file

namespace {

// The window with the fake line and the fake wait, port 9 open: attempts
// cost no time, the files are real.
struct LogBench {
    LogBench()
    {
        serial.device = [this](const Bytes&) { return answer; };
        form.Command_uart->click();
    }
    void press() { form.Command2->click(); }
    std::string day_path() const { return dir.file("2026-12-06.txt"); }

    TempDir dir;
    MessageRecorder messages;
    FakeClock clock;
    FakeSerial serial;
    Bytes answer = echo(1);
    Form1 form{dir.path(), {&messages, &clock, &serial}};
};

// Caps the size of every file this process writes, for the life of the
// object. SIGXFSZ would end the program; ignored, the write fails instead.
class FileSizeCap {
public:
    explicit FileSizeCap(rlim_t bytes)
    {
        m_ok = ::getrlimit(RLIMIT_FSIZE, &m_saved) == 0;
        m_handler = std::signal(SIGXFSZ, SIG_IGN);
        rlimit cap = m_saved;
        cap.rlim_cur = bytes;
        m_ok = m_ok && ::setrlimit(RLIMIT_FSIZE, &cap) == 0;
    }
    ~FileSizeCap()
    {
        ::setrlimit(RLIMIT_FSIZE, &m_saved);
        std::signal(SIGXFSZ, m_handler);
    }
    bool ok() const { return m_ok; }

private:
    rlimit m_saved{};
    void (*m_handler)(int) = SIG_DFL;
    bool m_ok = false;
};

} // namespace

TEST(DayLogFaults, RecordCutShortIsTakenBackAndEarlierRecordsStay)
{
    const struct {
        const char* name;
        long room; // bytes the disk takes of the next record; < 0: all but that many
    } rows[] = {
        {"no room at all", 0},
        {"room for a few bytes", 5},
        {"room for all but the last byte", -1},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        LogBench bench;
        bench.press();
        const std::string before = read_file(bench.day_path());
        ASSERT_EQ(before, record(bench.form.log_text()));
        ASSERT_TRUE(bench.messages.messages.empty());
        // The next attempt is the same, so its record is as long as this one.
        const auto size = static_cast<long>(before.size());
        const long room = row.room >= 0 ? row.room : size + row.room;
        {
            FileSizeCap cap(static_cast<rlim_t>(size + room));
            ASSERT_TRUE(cap.ok());
            bench.press();
        }
        EXPECT_EQ(bench.messages.messages, Strings{said_log_failed});
        EXPECT_EQ(read_file(bench.day_path()), before);
        // With room again the next record follows the first directly.
        bench.press();
        EXPECT_EQ(read_file(bench.day_path()), before + before);
        EXPECT_EQ(bench.messages.messages.size(), 1U);
    }
}

TEST(DayLogFaults, ReadOnlyToolFolderIsReported)
{
    if (::geteuid() == 0)
        GTEST_SKIP() << "root writes into a folder without write permission";
    LogBench bench;
    ASSERT_EQ(::chmod(bench.dir.path().c_str(), 0555), 0);
    bench.press();
    ::chmod(bench.dir.path().c_str(), 0755);
    EXPECT_EQ(bench.messages.messages, Strings{said_log_failed});
    EXPECT_TRUE(bench.form.log_text().ends_with(said_success + entry_tail));
    EXPECT_FALSE(fs::exists(bench.day_path()));
}

// ---------------------------------------------------------------------------
// The settings file

TEST(SettingsFaults, PortOpensAndWorksWhenTheSettingsFileCannotBeWritten)
{
    const struct {
        const char* name;
        std::function<void(const std::string& folder, const std::string& path)> make;
    } rows[] = {
        {"folder of that name",
         [](const std::string&, const std::string& path) { fs::create_directory(path); }},
        {"full disk", [](const std::string&,
                         const std::string& path) { fs::create_symlink("/dev/full", path); }},
        {"link into a missing folder",
         [](const std::string& folder, const std::string& path) {
             fs::create_symlink(folder + "/gone/parameter.txt", path);
         }},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        Rig rig;
        const std::string path = rig.dir.file("parameter.txt");
        row.make(rig.dir.path(), path);
        const auto kind = fs::symlink_status(path).type();
        LineDevice device(rig.line, always(echo(1)));
        rig.open_port();
        EXPECT_EQ(rig.messages.messages, Strings{said_settings_failed});
        EXPECT_EQ(rig.form().Command_uart->text().toStdString(), "关闭串口");
        EXPECT_FALSE(rig.form().Combo_uart->isEnabled());
        rig.press();
        EXPECT_EQ(rig.form().log_text(), success_entry);
        EXPECT_EQ(rig.messages.messages.size(), 1U);
        EXPECT_EQ(rig.day_log(), record(success_entry));
        EXPECT_EQ(fs::symlink_status(path).type(), kind);
    }
}

namespace {

struct StartUp {
    std::string port;
    std::string baud;
    Strings messages;
};

StartUp start_up(const std::string& folder)
{
    MessageRecorder messages;
    FakeClock clock;
    FakeSerial serial;
    Form1 form(folder, {&messages, &clock, &serial});
    return {form.Combo_uart->currentText().toStdString(),
            form.Combo_baud->currentText().toStdString(), messages.messages};
}

} // namespace

// Kinds that the reader's own tests do not cover: numbers far beyond any
// index, and entries that are no plain file.
TEST(SettingsFaults, UnusableSettingsAtStartUpSelectTheDefaults)
{
    const std::string twenty_nines = "99999999999999999999";
    const std::string beyond_double = "1" + std::string(400, '0');
    auto file = [](std::string bytes) {
        return [=](const std::string& path) { write_file(path, bytes); };
    };
    auto link_to = [](std::string target) {
        return [=](const std::string& path) { fs::create_symlink(target, path); };
    };
    const struct {
        const char* name;
        std::function<void(const std::string& path)> make;
        const char* port;
        const char* baud;
    } rows[] = {
        {"20-digit numbers", file("\"" + twenty_nines + "\",\"" + twenty_nines + "\"\r\n"), "9",
         "115200"},
        {"negative 20-digit numbers",
         file("\"-" + twenty_nines + "\",\"-" + twenty_nines + "\"\r\n"), "9", "115200"},
        {"beyond a double", file(beyond_double + "," + beyond_double), "9", "115200"},
        {"good port, huge baud", file("\"2\",\"" + twenty_nines + "\"\r\n"), "9", "115200"},
        {"huge port, good baud", file("\"" + beyond_double + "\",\"2\"\r\n"), "9", "115200"},
        // An exponent is no part of a number here: the leading 1 selects.
        {"exponent form", file("\"1e400\",\"1e400\"\r\n"), "2", "19200"},
        {"dangling link", link_to("/nonexistent/parameter.txt"), "9", "115200"},
        {"link to a folder", link_to("/"), "9", "115200"},
        {"link to an endless device", link_to("/dev/zero"), "9", "115200"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        TempDir dir;
        row.make(dir.file("parameter.txt"));
        const StartUp seen = start_up(dir.path());
        EXPECT_EQ(seen.port, row.port);
        EXPECT_EQ(seen.baud, row.baud);
        EXPECT_TRUE(seen.messages.empty());
    }
}

TEST(SettingsFaults, UnreadableSettingsFileSelectsTheDefaults)
{
    if (::geteuid() == 0)
        GTEST_SKIP() << "root reads a file without read permission";
    TempDir dir;
    const std::string path = dir.file("parameter.txt");
    write_file(path, "\"0\",\"0\"\r\n");
    ASSERT_EQ(::chmod(path.c_str(), 0200), 0);
    const StartUp seen = start_up(dir.path());
    EXPECT_EQ(seen.port, "9");
    EXPECT_EQ(seen.baud, "115200");
    EXPECT_TRUE(seen.messages.empty());
}
