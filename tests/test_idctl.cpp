// qrv-idctl: its outcomes over the fakes, with the virtual device's model
// playing the line; its batch list; and the real program against the
// virtual device where signals and files are the point.
#include "device_line.h"
#include "golden.h"
#include "idctl.h"
#include "pty.h"
#include "vocabulary.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <regex>
#include <sstream>
#include <sys/stat.h>

using namespace qrv;
using namespace qrv::test;

namespace {

std::string text_of(std::FILE* file)
{
    std::string text(static_cast<std::size_t>(std::ftell(file)), '\0');
    std::rewind(file);
    text.resize(std::fread(text.data(), 1, text.size(), file));
    std::fclose(file);
    return text;
}

struct Ran {
    int status;
    std::string out, err;
};

// qrv-idctl on the fakes, its devices on the fake clock.
struct Cli : DeviceLine {
    using DeviceLine::DeviceLine;
    Ran operator()(const std::string& args) { return run(args, cli::read_standard_input); }
    // With standard input read by read_input.
    template <typename Read> Ran run(const std::string& args, Read read_input)
    {
        std::istringstream words(args);
        std::vector<std::string> argv{std::istream_iterator<std::string>(words), {}};
        std::FILE* out = std::tmpfile();
        std::FILE* err = std::tmpfile();
        cli::FileOut to_out(out), to_err(err);
        cli::Platform platform{serial, clock, stop};
        platform.read_input = read_input;
        const int status = cli::run(argv, dir.path(), platform, to_out, to_err);
        return {status, text_of(out), text_of(err)};
    }
    std::string day_log() { return read_file(dir.file("2026-12-06.txt")); }
    // Ctrl-C from ms on.
    void stop_at(std::int64_t ms)
    {
        stop = [this, ms] { return clock.now >= ms; };
    }

    TempDir dir;
    std::function<bool()> stop = [] { return false; };
};

const std::string change = "change --port 9 --baud 115200 --from 17 --to 1 ";

// The line of the day log's last record that ends with its star line.
std::string last_line(const std::string& log)
{
    const auto star = log.rfind(star_line);
    if (star == std::string::npos)
        return "";
    const auto start = log.rfind('\n', star) + 1;
    return log.substr(start, star - start);
}

// Each record of the day log ends with what was told of its change, after
// "ID 17 → 1："; how many there are.
std::size_t expect_records_say_what_was_told(const std::string& log, const std::string& out)
{
    const std::string start = log_start_prefix, new_id = log_new_id_prefix;
    std::size_t records = 0;
    for (auto at = log.find(start); at != std::string::npos;
         at = log.find(start, at + 1), ++records) {
        const std::string old_id =
            log.substr(at + start.size(), log.find(';', at) - at - start.size());
        const auto new_at = log.find(new_id, at) + new_id.size();
        const std::string told =
            "ID " + old_id + " → " + log.substr(new_at, log.find(' ', new_at) - new_at) + "：";
        const auto end = log.find(star_line, at);
        const auto last = log.rfind("\r\n", end) + 2; // the star line follows at once
        const auto line = out.find(told);
        if (line == std::string::npos) {
            ADD_FAILURE() << told << " not told in " << out;
            continue;
        }
        EXPECT_EQ(out.substr(line + told.size(), out.find('\n', line) - line - told.size()),
                  log.substr(last, end - last));
    }
    return records;
}

TEST(Idctl, OutcomesExitStatusesAndRecords)
{
    using Setup = std::function<void(Cli&)>;
    const Setup none = [](Cli&) {};
    const auto late = [](int ms) { return [ms](Cli& c) { c.serial.latency_ms = ms; }; };
    // Each frame written, and the device's answer to it, replaced by what the line does.
    const auto line_does = [](std::function<Bytes(Cli&, const Bytes& frame, Bytes answer)> does) {
        return [=](Cli& c) {
            c.serial.device = [&c, does, bus = c.serial.device](const Bytes& frame) {
                return does(c, frame, bus(frame));
            };
        };
    };
    const auto echoing = line_does([](Cli&, const Bytes& frame, Bytes answer) {
        answer.insert(answer.begin(), frame.begin(), frame.end());
        return answer;
    });
    const auto gone_after = [&](std::size_t frames) {
        return line_does([frames](Cli& c, const Bytes&, Bytes answer) {
            c.serial.gone = c.serial.written.size() > frames;
            return answer;
        });
    };
    const std::string taken = "ID 17 → 1：新ID 1 已被占用（寄存器10 = 1），未发送更改命令\n";
    const struct {
        std::vector<std::uint8_t> ids;
        devsim::Faults faults;
        Setup setup;
        std::string args; // LIST: a batch list of 17 1, 3 13
        int status;
        std::string said; // how the output begins
        std::size_t records;
    } rows[] = {
        // clang-format off
        {{17}, {}, none, change, 0, "ID 17 → 1：Modbus 新ID 设置成功，已在ID 1 读回确认\n", 1},
        {{17, 1}, {}, none, change, 4, taken, 0},
        // A device at the new ID slower than the window: heard before the change goes out,
        // and with --timeout as long as it is, in every command that changes.
        {{17, 1}, {}, late(300), change, 4,
         "ID 17 → 1：新ID 1 已被占用（寄存器10 = 1（应答晚于等待时间）），未发送更改命令\n", 0},
        {{17, 1}, {}, late(700), change + "--timeout 800", 4, taken, 0},
        {{17, 1}, {}, late(700), "batch --port 9 --baud 9600 LIST --timeout 800", 4, taken, 0},
        {{17, 20}, {}, late(700), "assign --port 9 --baud 9600 --from 17 --to 20 --timeout 800", 4,
         "新ID 20 已被占用（寄存器10 = 20），跳过\n新ID列表已用完，这台设备未更改\n", 0},
        // Nobody at the old ID, or two: nothing is sent.
        {{}, {}, none, change, 1, "ID 17 → 1：ID 17 处无设备应答，未发送更改命令\n", 0},
        {{17, 17}, {}, none, change, 4, "ID 17 → 1：ID 17 处不止一台设备应答（应答CRC错误），未发送更改命令\n", 0},
        // The device moved though its echo came from the old address: it is said so, and filed so.
        {{17}, {true, false}, none, change, 0, "ID 17 → 1：设备已更改ID，已在ID 1 读回确认（更改的应答来自原地址）\n", 1},
        {{}, {}, none, change + "--force", 1, "ID 17 → 1：设置无响应，请重新设置，在ID 1 读回 2.5 秒：无应答，新ID未确认\n", 1},
        {{17}, {false, false, 3}, none, change, 1, "ID 17 → 1：设备拒绝更改：异常码 03（非法数据值）\n", 1},
        {{17}, {false, true}, none, change, 1, "ID 17 → 1：设备应答了更改，但在ID 1 读回 2.5 秒：无应答，新ID未确认\n", 1},
        {{17}, {false, true}, none, change + "--no-verify", 0, "ID 17 → 1：Modbus 新ID 设置成功，未读回确认\n", 1},
        {{17}, {}, [](Cli& c) { std::filesystem::create_directory(c.dir.file("2026-12-06.txt")); }, change, 5,
         "ID 17 → 1：Modbus 新ID 设置成功，已在ID 1 读回确认\n日志文件写入失败，请检查程序目录是否可写：", 0},
        // An adapter that echoes what it sends is worked through.
        {{17}, {}, echoing, change, 0, "ID 17 → 1：Modbus 新ID 设置成功，已在ID 1 读回确认\n", 1},
        {{17}, {}, echoing, "read --port 9 --baud 9600 --id 17", 0, "ID 17：寄存器10 = 17\n", 0},
        // The line fails: a port error, and no record claims that a frame went out.
        {{17}, {}, [](Cli& c) { c.serial.write_status = sio_write_failed; }, change + "--force", 3,
         "ID 17 → 1：命令未能发送，请检查串口\n串口 COM9：refused\n", 1},
        {{17}, {}, gone_after(0), change, 3, "ID 17 → 1：串口已断开\n串口 COM9：gone\n", 0},
        {{17, 3}, {}, gone_after(3), "batch --port 9 --baud 9600 LIST --keep-going", 3,
         "ID 17 → 1：设备应答了更改，但在ID 1 读回：串口已断开，新ID未确认\n串口 COM9：gone\n\nline  old     new     result\n"
         "1     17      1       port_lost\n2     3       13      not_run\n", 1}, // during the read-back
        {{17, 3}, {}, gone_after(4), "batch --port 9 --baud 9600 LIST --keep-going", 3,
         "ID 17 → 1：Modbus 新ID 设置成功，已在ID 1 读回确认\nID 3 → 13：串口已断开\n串口 COM9：gone\n\nline  old     new     result\n"
         "1     17      1       confirmed\n2     3       13      port_lost\n", 1},
        // A failure early in a batch is its exit, whatever came after; a port that will not open is a port error.
        {{3}, {}, none, "batch --port 9 --baud 9600 LIST --keep-going", 1, "ID 17 → 1：ID 17 处无设备应答", 1},
        {{17}, {}, [](Cli& c) { c.serial.open_status = sio_open_failed; }, "read --port 9 --baud 9600 --id 17", 3, "", 0},
        // Stops: before anything is sent, during the wait, during the read-back, between batch lines.
        {{17}, {}, [](Cli& c) { c.stop = [] { return true; }; }, change, 130, "ID 17 → 1：已中断，未发送更改命令\n", 0},
        {{17}, {}, [](Cli& c) { c.stop_at(1000); }, change, 130, "ID 17 → 1：Modbus 新ID 设置成功，已中断，未读回确认\n", 1},
        {{17}, {}, [](Cli& c) { c.held_id = 1; c.held_until = 1900; c.stop_at(1600); }, change, 130,
         "ID 17 → 1：Modbus 新ID 设置成功，已中断，未读回确认\n", 1},
        {{17, 3}, {}, [](Cli& c) { c.stop = [&c] { return !c.day_log().empty(); }; },
         "batch --port 9 --baud 9600 LIST", 130, "ID 17 → 1：Modbus 新ID 设置成功，已在ID 1 读回确认\n\n"
         "line  old     new     result\n1     17      1       confirmed\n2     3       13      not_run\n", 1},
        {{7, 7}, {}, none, "read --port 9 --baud 9600 --id 7", 1, "ID 7：应答CRC错误\n", 0},
        {{3, 3, 5}, {}, none, "scan --port 9 --baud 9600 --ids 1-9 --first", 0,
         "地址  波特率  寄存器10\n3     9600    有应答，但无法识别：应答CRC错误\n5     9600    寄存器10 = 5\n找到 1 台设备\n", 0},
        {{5}, {}, [](Cli& c) { c.serial.refused_bauds = {230400}; }, "scan --port 9 --baud 230400", 3,
         "波特率 230400 设置失败，未扫描\n地址  波特率  寄存器10\n找到 0 台设备\n", 0},
        {{5}, {}, [](Cli& c) { c.stop_at(600); }, "scan --port 9 --baud 9600", 130,
         "扫描已中断，以下为已找到的\n地址  波特率  寄存器10\n5     9600    寄存器10 = 5\n找到 1 台设备\n", 0},
        // clang-format on
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.args);
        Cli cli(row.ids, row.faults);
        row.setup(cli);
        write_file(cli.dir.file("list.txt"), "17 1\n3 13\n");
        std::string args = row.args;
        if (const auto list = args.find("LIST"); list != std::string::npos)
            args.replace(list, 4, cli.dir.file("list.txt"));
        const Ran run = cli(args);
        EXPECT_EQ(run.status, row.status) << run.err;
        EXPECT_EQ(run.out.substr(0, row.said.size()), row.said);
        EXPECT_EQ(expect_records_say_what_was_told(cli.day_log(), run.out), row.records);
        // Nothing goes to the old ID unless the change is sent, and no record says it went.
        const std::string log = cli.day_log();
        const bool filed_sent = log.find("发送命令：11 6 0 A 0 1 6A 98") != std::string::npos &&
                                log.find("未能发送") == std::string::npos;
        EXPECT_EQ(std::ranges::count(cli.serial.written, request_17_to_1) > 0,
                  filed_sent || row.status == 5);
    }
}

TEST(Idctl, OneJsonVocabulary)
{
    Cli cli({17, 3}, {false, true}); // devices that echo a change but keep their ID
    // Lines are counted as the file has them, blank and comment lines too.
    write_file(cli.dir.file("list.txt"), "17 11\n\n3,13  # cabinet 4\n1 7\n");
    const Ran run = cli("batch --port 9 --baud 9600 " + cli.dir.file("list.txt") + " --json");
    EXPECT_EQ(run.status, 1);
    const std::string log = cli.dir.file("2026-12-06.txt");
    EXPECT_EQ(
        run.out,
        "{\"command\":\"batch\",\"result\":\"unconfirmed\",\"exit\":1,\"baud\":9600,\"line\":1,"
        "\"from\":17,\"to\":11,\"old_check\":{\"result\":\"value\",\"id\":17,\"value\":17},"
        "\"check\":{\"result\":\"no_reply\",\"id\":11},\"readback\":{\"result\":\"no_reply\","
        "\"id\":11},"
        "\"reply\":\"B 6 0 A 0 B E8 A5\",\"filed\":true,\"log\":\"" +
            log +
            "\",\"text\":\"ID 17 → 11：设备应答了更改，但在ID 11 读回 2.5 "
            "秒：无应答，新ID未确认\"}\n"
            "{\"command\":\"batch\",\"result\":\"not_run\",\"exit\":null,\"baud\":9600,"
            "\"line\":3,\"from\":3,\"to\":13,\"text\":\"未执行\"}\n"
            "{\"command\":\"batch\",\"result\":\"not_run\",\"exit\":null,\"baud\":9600,"
            "\"line\":4,\"from\":1,\"to\":7,\"text\":\"未执行\"}\n"
            "{\"command\":\"batch\",\"result\":\"summary\",\"exit\":1,\"baud\":9600,"
            "\"done\":1,\"total\":3,\"interrupted\":false,\"text\":\"已执行 1 行，共 3 行\"}\n");
    EXPECT_EQ(cli("read --port 9 --baud 9600 --id 3 --json").out,
              "{\"command\":\"read\",\"result\":\"value\",\"exit\":0,\"baud\":9600,\"id\":3,"
              "\"value\":3,\"text\":\"ID 3：寄存器10 = 3\"}\n");
    EXPECT_EQ(cli("scan --port 9 --ids 3 --first --json").out,
              "{\"command\":\"scan\",\"result\":\"value\",\"exit\":0,\"baud\":9600,\"id\":3,"
              "\"device\":true,\"value\":3,\"text\":\"寄存器10 = 3\"}\n"
              "{\"command\":\"scan\",\"result\":\"summary\",\"exit\":0,\"baud\":null,\"found\":1,"
              "\"done\":1,\"total\":6,\"interrupted\":false,\"text\":\"找到 1 台设备\"}\n");
    EXPECT_EQ(cli("scan --port 9 --id 3 --json").out,
              "{\"command\":\"scan\",\"result\":\"usage_error\",\"exit\":2,\"baud\":null,"
              "\"text\":\"命令 scan 不接受选项 --id\"}\n");
    // A late answer is marked; a failing line names its device and why, the
    // line break of the text escaped.
    cli.serial.latency_ms = 300;
    EXPECT_EQ(cli("read --port 9 --baud 9600 --id 3 --json").out,
              "{\"command\":\"read\",\"result\":\"value\",\"exit\":0,\"baud\":9600,\"id\":3,"
              "\"value\":3,\"late\":true,\"text\":\"ID 3：寄存器10 = 3（应答晚于等待时间）\"}\n");
    // An adapter that echoes is told once on standard error, and in every object.
    cli.serial.latency_ms = 0;
    cli.serial.device = [bus = cli.serial.device](const Bytes& frame) {
        Bytes line = frame;
        const Bytes answer = bus(frame);
        line.insert(line.end(), answer.begin(), answer.end());
        return line;
    };
    EXPECT_EQ(cli("read --port 9 --baud 9600 --id 3 --json").out,
              "{\"command\":\"read\",\"result\":\"value\",\"exit\":0,\"baud\":9600,\"id\":3,"
              "\"value\":3,\"echo\":true,\"text\":\"ID 3：寄存器10 = 3\"}\n");
    EXPECT_EQ(cli("read --port 9 --baud 9600 --id 3").err,
              "qrv-idctl: 串口转换器回送发出的命令，已去掉回送再判断应答\n");
    cli.serial.write_status = sio_write_failed;
    EXPECT_EQ(cli("read --port 9 --baud 9600 --id 3 --json").out,
              "{\"command\":\"read\",\"result\":\"not_sent\",\"exit\":3,\"baud\":9600,\"id\":3,"
              "\"device\":\"COM9\",\"reason\":\"refused\",\"text\":\"ID 3：命令未能发送\\n串口 "
              "COM9：refused\"}\n");
}

// A stop ends every wait within a fifth of a second, however long the
// answers are waited for; nothing is sent after it.
TEST(Idctl, StopsAtOnce)
{
    const struct {
        std::vector<std::uint8_t> ids;
        std::string args;
        std::string said;
    } rows[] = {
        // clang-format off
        {{}, "read --port 9 --baud 9600 --id 17 --timeout 60000", "ID 17：已中断，未等到应答\n"},
        {{}, "scan --port 9 --baud 9600 --timeout 60000", "扫描已中断，以下为已找到的\n"},
        {{17}, change + "--timeout 60000", "ID 17 → 1：已中断，未发送更改命令\n"},
        {{}, "assign --port 9 --baud 9600 --from 17 --to 20 --timeout 60000", "\ndevice  old     new     result\n"},
        // clang-format on
    };
    for (const auto& row : rows) {
        Cli cli(row.ids);
        cli.stop_at(500);
        const Ran run = cli(row.args);
        EXPECT_EQ(run.status, 130) << row.args;
        EXPECT_EQ(run.out.substr(0, row.said.size()), row.said) << row.args;
        EXPECT_LE(cli.clock.now, 700) << row.args;
        EXPECT_EQ(std::ranges::count(cli.serial.written, request_17_to_1), 0) << row.args;
    }
    // A batch list awaited on standard input: nothing is read, nothing sent.
    Cli cli({17});
    const Ran run = cli.run("batch --port 9 --baud 9600 -",
                            [](std::string&, std::size_t, int&) { return false; });
    EXPECT_EQ(std::tuple(run.status, run.out),
              std::tuple(130, std::string("已中断，未发送任何命令\n")));
    EXPECT_TRUE(cli.serial.calls.empty());
}

// A usage error, or a batch list that cannot be run, is told on standard
// error and sends nothing.
TEST(Idctl, RefusalsSendNothing)
{
    const std::pair<std::string, std::string> rows[] = {
        {change + "--colour", "未知选项：--colour\n用法见 qrv-idctl change --help"},
        {"batch --port 9 --baud 9600 list.txt", "list.txt：文件不存在"},
    };
    for (const auto& [args, said] : rows) {
        Cli cli({17});
        const Ran run = cli(args);
        EXPECT_EQ(run.status, 2) << args;
        EXPECT_NE(run.err.find(said), std::string::npos) << args << "\n" << run.err;
        EXPECT_TRUE(cli.serial.calls.empty()) << args;
    }
}

// The general help ends with the folder the files go to; a command's help
// does not repeat it.
TEST(Idctl, HelpNamesTheToolFolder)
{
    Cli cli({17});
    const Ran general = cli("--help");
    EXPECT_TRUE(general.out.ends_with("工具文件夹（日志、parameter.txt、ports/）：" +
                                      cli.dir.path() + "\n"))
        << general.out;
    EXPECT_EQ(cli("read --help").out.find("工具文件夹"), std::string::npos);
}

// The program itself, against the virtual device, in a folder of its own
// whose name is not UTF-8 (a Chinese name from a Windows zip).
struct Tool {
    Tool() : folder(dir.file("\xB9\xA4\xBE\xDF"))
    {
        std::filesystem::create_directory(folder);
        std::filesystem::copy_file(QRV_IDCTL_PATH, folder + "/qrv-idctl");
    }
    // The command line; with stop ("SIGNAL heard"), that signal to the tool,
    // or KILL to the device, once the device has printed what is heard
    // ("SIGNAL +0.3": 0.3 s after the start).
    Ran operator()(const std::string& args, const std::string& stop, pid_t device)
    {
        std::string line = "./qrv-idctl >out.txt 2>err.txt </dev/null " + args;
        if (const auto space = stop.find(' '); space != std::string::npos)
            line += " & " +
                    (stop[space + 1] == '+' ? "sleep " + stop.substr(space + 2)
                                            : "until grep -q \"" + stop.substr(space + 1) +
                                                  "\" ports/COM9.out; do sleep 0.01; done") +
                    "; kill -" + stop.substr(0, space) + " " +
                    (stop.starts_with("KILL") ? std::to_string(device) : "$!") + "; wait $!";
        const int status = std::system(("cd '" + folder + "' && bash -c '" + line + "'").c_str());
        return {WEXITSTATUS(status), read_file(folder + "/out.txt"),
                read_file(folder + "/err.txt")};
    }
    std::string day_log() const
    {
        for (const auto& e : std::filesystem::directory_iterator(folder))
            if (std::regex_match(e.path().filename().string(),
                                 std::regex(R"(\d{4}-\d\d-\d\d\.txt)")))
                return read_file(e.path().string());
        return "";
    }
    TempDir dir;
    std::string folder;
};

TEST(Idctl, AgainstTheVirtualDevice)
{
    const std::string batch = "batch --port 9 --baud 115200 list.txt";
    const std::string change = "change --port 9 --baud 115200 --from 17 --to 1";
    const std::string confirmed = "ID 17 → 1：Modbus 新ID 设置成功，已在ID 1 读回确认\n";
    const struct {
        std::vector<std::string> devices;
        std::string args, stop;
        int status;
        std::string said, filed; // filed: the last record's line before its star line
    } rows[] = {
        // clang-format off
        // Answers 300 ms late are never taken for the next request's; the list from standard input.
        {{"--late", "300", "--id", "1", "--id", "2", "--id", "3"}, "batch --port 9 --baud 115200 - <list.txt", "", 0,
         "line  old     new     result\n1     1       11      confirmed\n2     2       12      confirmed\n"
         "3     3       13      confirmed\n", "Modbus 新ID 设置成功，已在ID 13 读回确认"},
        // Stops: Ctrl-C while the second change waits, the table still comes; SIGQUIT in
        // the wait; SIGTERM in the read-back of a device that restarts; Ctrl-C while the
        // list is awaited on standard input; SIGHUP in a scan.
        {{"--id", "1", "--id", "2", "--id", "3"}, batch, "INT RX 2 6 0 A 0 C", 130,
         "line  old     new     result\n1     1       11      confirmed\n2     2       12      unverified\n"
         "3     3       13      not_run\n", "Modbus 新ID 设置成功，已中断，未读回确认"},
        {{"--id", "40"}, "change --port 9 --baud 115200 --from 40 --to 41", "QUIT RX 28 6 0 A 0 29", 130,
         "ID 40 → 41：Modbus 新ID 设置成功，已中断，未读回确认\n", "Modbus 新ID 设置成功，已中断，未读回确认"},
        {{"--restart", "1300"}, change, "TERM restarting", 130,
         "ID 17 → 1：Modbus 新ID 设置成功，已中断，未读回确认\n", "Modbus 新ID 设置成功，已中断，未读回确认"},
        {{"--id", "1"}, "batch --port 9 --baud 115200 - <>fifo", "INT +0.3", 130, "已中断，未发送任何命令\n", ""},
        {{"--id", "3"}, "scan --port 9 --baud 9600 --ids 1-30", "HUP RX 5 3 0 A", 130,
         "扫描已中断，以下为已找到的\n地址  波特率  寄存器10\n3     9600    寄存器10 = 3\n找到 1 台设备\n", ""},
        // Firmware that restarts to take its new ID is asked again until it answers there.
        {{"--restart", "1300"}, change, "", 0, confirmed, "Modbus 新ID 设置成功，已在ID 1 读回确认"},
        // The line: an adapter that echoes, a byte too many, a refusal, an echo after the second.
        {{"--echo"}, change, "", 0, confirmed, "Modbus 新ID 设置成功，已在ID 1 读回确认"},
        {{"--extra", "1"}, change, "", 0, confirmed, "Modbus 新ID 设置成功，已在ID 1 读回确认"},
        {{"--refuse", "2"}, change, "", 1, "ID 17 → 1：设备拒绝更改：异常码 02（非法数据地址）\n",
         "设备拒绝更改：异常码 02（非法数据地址）"},
        {{"--late", "1100"}, change + " --confirm-ms 3000", "", 0,
         "ID 17 → 1：设备已更改ID，已在ID 1 读回确认（更改的应答晚于等待时间）\n",
         "设备已更改ID，已在ID 1 读回确认（更改的应答晚于等待时间）"},
        // The adapter pulled: the batch stops there, with no record of the line it cut.
        {{"--id", "1", "--id", "2", "--id", "3"}, batch + " --keep-going --timeout 2000", "KILL RX C 3 0 A", 3,
         "ID 2 → 12：串口已断开\n串口 ports/COM9：No such file or directory\n\nline  old     new     result\n"
         "1     1       11      confirmed\n2     2       12      port_lost\n3     3       13      not_run\n",
         "Modbus 新ID 设置成功，已在ID 11 读回确认"},
        {{"--id", "1", "--id", "2"}, "scan --port 9 --baud 9600 --ids 1-5 --timeout 2000", "KILL RX 3 3 0 A", 3,
         "串口已断开，扫描停止\n串口 ports/COM9：No such file or directory\n地址  波特率  寄存器10\n"
         "1     9600    寄存器10 = 1\n2     9600    寄存器10 = 2\n找到 2 台设备\n", ""},
        // New devices numbered as they are plugged in, 21 taken; two at once refused until Ctrl-C.
        {{"--id", "21", "--id", "17", "--id", "17", "--appear", "1500", "--id", "17", "--appear", "3000"},
         "assign --port 9 --baud 115200 --from 17 --to 20-23", "", 0,
         "第 3 台：ID 17 → 23：Modbus 新ID 设置成功，已在ID 23 读回确认\n\ndevice  old     new     result\n"
         "1       17      20      confirmed\n2       17      22      confirmed\n3       17      23      confirmed\n"
         "已编号 3 台，共接入 3 台\n", "Modbus 新ID 设置成功，已在ID 23 读回确认"},
        {{"--id", "17", "--id", "17"}, "assign --port 9 --baud 115200 --from 17 --to 20-23", "INT collision", 130,
         "ID 17 处不止一台设备应答（应答CRC错误），请一次只接一台，未发送更改命令\n\ndevice  old     new     result\n"
         "已编号 0 台，共接入 0 台\n", ""},
        {{"--id", "5", "--identity", "ACME,QRV-100,1.2", "--id", "7"}, "scan --port 9 --baud 115200 --ids 4-7 --identify",
         "", 0, "5     115200  寄存器10 = 5，厂商 ACME，产品 QRV-100，版本 1.2\n"
         "7     115200  寄存器10 = 7，无标识：异常码 01（非法功能）\n找到 2 台设备\n", ""},
        {{}, "read --port 9 --baud 9600 --id 17 >/dev/full", "", 6, "", ""},
        {{}, "batch --port 9 --baud 115200 ports", "", 2, "", ""},
        // clang-format on
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.args + " " + row.stop);
        Tool tool;
        write_file(tool.folder + "/list.txt", "1 11\n2 12\n3 13\n");
        ::mkfifo((tool.folder + "/fifo").c_str(), 0600); // standard input that never ends
        Devsim device(tool.folder + "/ports/COM9", row.devices);
        Ran run = tool(row.args, row.stop, device.pid());
        // The port is named as the tool found it, in its own folder.
        for (auto at = run.out.find(tool.folder + "/"); at != std::string::npos;
             at = run.out.find(tool.folder + "/"))
            run.out.erase(at, tool.folder.size() + 1);
        EXPECT_EQ(run.status, row.status) << run.err;
        EXPECT_TRUE(run.out.ends_with(row.said)) << run.out;
        EXPECT_EQ(last_line(tool.day_log()), row.filed);
    }
}

} // namespace
