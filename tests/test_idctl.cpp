// qrv-idctl: its outcomes over the fakes, with the virtual device's model
// playing the line; its batch list; and the real program against the
// virtual device where signals and files are the point.
#include "device_line.h"
#include "golden.h"
#include "idctl.h"
#include "ports_posix.h"
#include "pty.h"
#include "qt_serial.h"
#include "report.h"
#include "vocabulary.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <regex>
#include <set>
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
        platform.list_ports = list_ports;
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
    std::function<std::vector<cli::SystemPort>(const std::string&)> list_ports = cli::system_ports;
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
        // A change made before (a list run again after a stop): nothing at the old ID, the device at the new.
        {{1}, {}, none, change, 0, "ID 17 → 1：已完成（设备已在新ID）\n", 0},
        {{1, 3}, {}, none, "batch --port 9 --baud 9600 LIST", 0, "ID 17 → 1：已完成（设备已在新ID）\nID 3 → 13：Modbus", 1},
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
         "ID 17 → 1：设备应答了更改，但在ID 1 读回：串口已断开，新ID未确认\n串口 COM9：gone\n\n行    原ID    新ID    结果\n"
         "1     17      1       串口已断开\n2     3       13      未执行\n已执行 1 行，共 2 行\n", 1}, // during the read-back
        {{17, 3}, {}, gone_after(4), "batch --port 9 --baud 9600 LIST --keep-going", 3,
         "ID 17 → 1：Modbus 新ID 设置成功，已在ID 1 读回确认\nID 3 → 13：串口已断开\n串口 COM9：gone\n\n行    原ID    新ID    结果\n"
         "1     17      1       已确认\n2     3       13      串口已断开\n已执行 2 行，共 2 行\n", 1},
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
         "行    原ID    新ID    结果\n1     17      1       已确认\n2     3       13      未执行\n已执行 1 行，共 2 行\n", 1},
        {{7, 7}, {}, none, "read --port 9 --baud 9600 --id 7", 1, "ID 7：应答CRC错误\n", 0},
        {{3, 3, 5}, {}, none, "scan --port 9 --baud 9600 --ids 1-9 --first", 0,
         "地址  波特率  寄存器10\n3     9600    有应答，但无法识别：应答CRC错误\n5     9600    寄存器10 = 5\n找到 1 台设备\n", 0},
        {{}, {}, [](Cli& c) { c.serial.device = [](const Bytes& f) { return f[0] == 8 ? devsim::with_crc({8, 3, 2, 0, 3}) : Bytes{}; }; },
         "scan --port 9 --baud 9600 --ids 7-8", 0, "地址  波特率  寄存器10\n8     9600    寄存器10 = 3（与应答地址不同）\n找到 1 台设备\n", 0},
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
              "\"is_device\":true,\"value\":3,\"text\":\"寄存器10 = 3\"}\n"
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
    EXPECT_EQ(
        cli("read --port 9 --baud 9600 --id 3 --json").out,
        "{\"command\":\"read\",\"result\":\"not_sent\",\"exit\":3,\"baud\":9600,\"id\":3,"
        "\"port_device\":\"COM9\",\"reason\":\"refused\",\"text\":\"ID 3：命令未能发送\\n串口 "
        "COM9：refused\"}\n");
}

// The keys of a JSON object in order, and any key one of its objects, or an
// object within, holds twice.
struct JsonKeys {
    std::vector<std::string> keys;
    std::vector<std::string> twice;
};

JsonKeys json_keys(const std::string& json)
{
    JsonKeys found;
    std::vector<std::set<std::string>> open; // the keys of each object open at that point
    for (std::size_t i = 0; i < json.size(); ++i) {
        if (json[i] == '{' || json[i] == '[') {
            open.emplace_back();
        } else if (json[i] == '}' || json[i] == ']') {
            open.pop_back();
        } else if (json[i] == '"') {
            const std::size_t start = ++i;
            for (; json[i] != '"'; ++i)
                i += json[i] == '\\';
            if (json[i + 1] != ':')
                continue;
            const std::string key = json.substr(start, i - start);
            if (!open.back().insert(key).second)
                found.twice.push_back(key);
            if (open.size() == 1)
                found.keys.push_back(key);
        }
    }
    return found;
}

// Every kind of object the tool prints, each key once, the port's device
// under a key of its own.
TEST(Idctl, EachJsonKeyOnce)
{
    using Setup = std::function<void(Cli&)>;
    const Setup none = [](Cli&) {};
    // The adapter pulled once the change went out: the read-back finds the port gone.
    const Setup gone_after_change = [](Cli& c) {
        c.serial.device = [&c, bus = c.serial.device](const Bytes& frame) {
            c.serial.gone = std::ranges::any_of(
                c.serial.written, [](const Bytes& f) { return f[1] == fc_write_single_register; });
            return bus(frame);
        };
    };
    const struct {
        std::vector<std::uint8_t> ids;
        Setup setup;
        std::string args;
        std::vector<std::string> objects; // each line's result and keys beyond the common five
    } rows[] = {
        // clang-format off
        {{3}, none, "read --port 9 --baud 9600 --id 3", {"value id value"}},
        {{3}, none, "scan --port 9 --baud 9600 --ids 3 --identify",
         {"value id is_device value identity", "summary found done total interrupted"}},
        {{17}, none, change, {"confirmed from to old_check check readback reply filed log"}},
        {{17}, gone_after_change, change, {"port_lost from to old_check check filed log port_device reason"}},
        {{3}, none, "batch --port 9 --baud 9600 LIST --keep-going",
         {"no_device line from to old_check check", "confirmed line from to old_check check readback reply filed log",
          "summary done total interrupted"}},
        {{3}, none, "batch --port 9 --baud 9600 LIST",
         {"no_device line from to old_check check", "not_run line from to",
          "summary done total interrupted"}},
        {{17}, [](Cli& c) { c.stop_at(3000); }, "assign --port 9 --baud 9600 --from 17 --to 20",
         {"confirmed from to check readback reply filed log device_number", "summary done devices total interrupted"}},
        {{17}, gone_after_change, "assign --port 9 --baud 9600 --from 17 --to 20",
         {"port_lost from to check filed log port_device reason device_number",
          "summary done devices total interrupted"}},
        {{17, 20}, none, "assign --port 9 --baud 9600 --from 17 --to 20",
         {"skipped to check", "list_used_up", "summary done devices total interrupted"}},
        {{17}, [](Cli& c) { c.serial.open_status = sio_open_failed; }, "read --port 9 --baud 9600 --id 17",
         {"port_error port_device reason"}},
        {{5}, [](Cli& c) { c.serial.refused_bauds = {9600}; }, "scan --port 9 --baud 9600",
         {"speed_refused", "summary found done total interrupted"}},
        {{}, none, "read --port 9 --baud 9600", {"usage_error"}},
        {{}, none, "batch --port 9 --baud 9600 nothing.txt", {"file_error"}},
        {{}, [](Cli& c) { c.list_ports = [](const std::string&) {
             return std::vector<cli::SystemPort>{{"/dev/ttyUSB0", 3, "ports/COM3", "CH340", "1a86:7523", "A1", "usb-A1"},
                                                 {"/dev/ttyUSB1", 0, "ports/COM4", "", "", "", "", true}}; }; },
         "ports", {"port port_device port_number link name usb_id serial by_id", "dead_link link target",
                   "summary found tool_folder"}},
        // clang-format on
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.args);
        Cli cli(row.ids);
        row.setup(cli);
        write_file(cli.dir.file("list.txt"), "17 1\n3 13\n");
        std::string args = row.args + " --json";
        if (const auto list = args.find("LIST"); list != std::string::npos)
            args.replace(list, 4, cli.dir.file("list.txt"));
        std::istringstream out(cli(args).out);
        std::vector<std::string> objects;
        for (std::string line; std::getline(out, line);) {
            const JsonKeys found = json_keys(line);
            EXPECT_EQ(found.twice, std::vector<std::string>()) << line;
            ASSERT_GE(found.keys.size(), 5U) << line;
            std::string said = line.substr(line.find("\"result\":\"") + 10);
            said.resize(said.find('"'));
            for (std::size_t k = 4; k + 1 < found.keys.size(); ++k)
                said += " " + found.keys[k];
            EXPECT_EQ(std::vector(found.keys.begin(), found.keys.begin() + 4),
                      (std::vector<std::string>{"command", "result", "exit", "baud"}));
            EXPECT_EQ(found.keys.back(), "text");
            objects.push_back(said);
        }
        EXPECT_EQ(objects, row.objects);
    }
    // A folder whose name is not UTF-8 is written byte for byte, as text.
    const std::pair<std::string, std::string> strings[] = {
        {"\xB9\xA4\xBE\xDF/2026-12-06.txt", R"("\\xB9\\xA4\\xBE\\xDF/2026-12-06.txt")"},
        {"工具 \"a\\b\"\n\x1B", R"("工具 \"a\\b\"\n\u001B")"},
        {"\xC0\x80 \xED\xA0\x80 \xF4\x90\x80\x80 \xE5\xB7",
         R"("\\xC0\\x80 \\xED\\xA0\\x80 \\xF4\\x90\\x80\\x80 \\xE5\\xB7")"},
        {"\xF0\x9F\x94\x8C", "\"\xF0\x9F\x94\x8C\""},
    };
    for (const auto& [text, json] : strings)
        EXPECT_EQ(cli::json_string(text), json) << text;
}

// A device's identification as it sent it, the same in text and in JSON; a
// malformed one said for what it is.
TEST(Idctl, IdentificationAsSent)
{
    const std::pair<std::string, std::string> rows[] = {
        // clang-format off
        {"05 2B 0E 01 01 00 00 02 00 04 B9 A4 5C 41 01 01 7F",
         R"(寄存器10 = 5，厂商 \xB9\xA4\x5CA，产品 \x7F，版本 |{"result":"value","vendor":"\\xB9\\xA4\\x5CA","product":"\\x7F","revision":""})"},
        {"05 2B 0E 01 01 00 00 01 00 02 41 43 01 01 51",
         R"(寄存器10 = 5，标识应答格式错误|{"result":"identify_malformed"})"},
        // clang-format on
    };
    for (const auto& [reply, said] : rows) {
        Cli cli({5});
        Bytes answer = from_hex(reply + " 00 00");
        put_frame_crc(answer);
        cli.serial.device = [answer, bus = cli.serial.device](const Bytes& frame) {
            return frame[1] == fc_encapsulated_interface ? answer : bus(frame);
        };
        const std::string scan = "scan --port 9 --baud 9600 --ids 5 --identify";
        std::string text = cli(scan).out, json = cli(scan + " --json").out;
        text = text.substr(text.find("9600    ") + 8);
        json = json.substr(json.find("\"identity\":") + 11);
        EXPECT_EQ(text.substr(0, text.find('\n')) + "|" + json.substr(0, json.find("},") + 1),
                  said);
    }
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
        {{}, "assign --port 9 --baud 9600 --from 17 --to 20 --timeout 60000", "\n设备  原ID    新ID    结果\n"},
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
         "行    原ID    新ID    结果\n1     1       11      已确认\n2     2       12      已确认\n"
         "3     3       13      已确认\n已执行 3 行，共 3 行\n", "Modbus 新ID 设置成功，已在ID 13 读回确认"},
        // Stops: Ctrl-C while the second change waits, the table still comes; SIGQUIT in
        // the wait; SIGTERM in the read-back of a device that restarts; Ctrl-C while the
        // list is awaited on standard input; SIGHUP in a scan.
        {{"--id", "1", "--id", "2", "--id", "3"}, batch, "INT RX 2 6 0 A 0 C", 130,
         "行    原ID    新ID    结果\n1     1       11      已确认\n2     2       12      未读回确认\n"
         "3     3       13      未执行\n已执行 2 行，共 3 行\n", "Modbus 新ID 设置成功，已中断，未读回确认"},
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
         "ID 2 → 12：串口已断开\n串口 ports/COM9 → /dev/pts/N：No such file or directory\n\n行    原ID    新ID    结果\n"
         "1     1       11      已确认\n2     2       12      串口已断开\n3     3       13      未执行\n已执行 2 行，共 3 行\n",
         "Modbus 新ID 设置成功，已在ID 11 读回确认"},
        {{"--id", "1", "--id", "2"}, "scan --port 9 --baud 9600 --ids 1-5 --timeout 2000", "KILL RX 3 3 0 A", 3,
         "串口已断开，扫描停止\n串口 ports/COM9 → /dev/pts/N：No such file or directory\n地址  波特率  寄存器10\n"
         "1     9600    寄存器10 = 1\n2     9600    寄存器10 = 2\n找到 2 台设备\n", ""},
        // New devices numbered as they are plugged in, 21 taken; two at once refused until Ctrl-C.
        {{"--id", "21", "--id", "17", "--id", "17", "--appear", "1500", "--id", "17", "--appear", "3000"},
         "assign --port 9 --baud 115200 --from 17 --to 20-23", "", 0,
         "第 3 台：ID 17 → 23：Modbus 新ID 设置成功，已在ID 23 读回确认\n\n设备  原ID    新ID    结果\n"
         "1     17      20      已确认\n2     17      22      已确认\n3     17      23      已确认\n"
         "已编号 3 台，共接入 3 台\n", "Modbus 新ID 设置成功，已在ID 23 读回确认"},
        {{"--id", "17", "--id", "17"}, "assign --port 9 --baud 115200 --from 17 --to 20-23", "INT collision", 130,
         "ID 17 处不止一台设备应答（应答CRC错误），请一次只接一台，未发送更改命令\n\n设备  原ID    新ID    结果\n"
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
        // The port is named as the tool found it, in its own folder, with
        // where its link led.
        for (auto at = run.out.find(tool.folder + "/"); at != std::string::npos;
             at = run.out.find(tool.folder + "/"))
            run.out.erase(at, tool.folder.size() + 1);
        run.out = std::regex_replace(run.out, std::regex("/dev/pts/[0-9]+"), "/dev/pts/N");
        EXPECT_EQ(run.status, row.status) << run.err;
        EXPECT_TRUE(run.out.ends_with(row.said)) << run.out;
        EXPECT_EQ(last_line(tool.day_log()), row.filed);
    }
}

// A port that will not open is said for why, naming the device tried as it
// was given, a link with where it points; nothing is sent.
TEST(Idctl, PortErrorsNameTheDeviceTried)
{
    Tool tool;
    Devsim device(tool.folder + "/ports/COM9");
    std::filesystem::create_symlink("/dev/ttyUSB-none", tool.folder + "/ports/COM3");
    QtSerial other_program(tool.folder);
    ASSERT_EQ(other_program.sio_open(9), sio_ok);
    const std::string pty = std::filesystem::read_symlink(tool.folder + "/ports/COM9").string();
    const std::pair<std::string, std::string> rows[] = {
        // clang-format off
        {"/nonexistent/ttyUSB0", "串口不存在：/nonexistent/ttyUSB0，可运行 qrv-idctl ports 查看本机串口"},
        {"3", "串口不存在：ports/COM3 → /dev/ttyUSB-none，可运行 qrv-idctl ports 查看本机串口"},
        {"/tmp", "/tmp 不是串口，请确认串口号是否正确"},
        {"9", "串口被其他程序占用：ports/COM9 → " + pty + "，请先关闭占用它的程序"},
        {"ports/COM9", "串口被其他程序占用：ports/COM9 → " + pty + "，请先关闭占用它的程序"},
        // clang-format on
    };
    for (const auto& [port, said] : rows) {
        Ran run = tool("read --baud 9600 --id 17 --port " + port, "", 0);
        if (const auto at = run.err.find(tool.folder + "/"); at != std::string::npos)
            run.err.erase(at, tool.folder.size() + 1);
        EXPECT_EQ(std::tuple(run.status, run.err), std::tuple(3, "qrv-idctl: " + said + "\n"));
    }
    // Denied, which root never is: as the serial library says it.
    Cli cli({17});
    cli.serial.open_status = sio_no_access;
    EXPECT_EQ(
        cli("read --port /dev/ttyUSB0 --baud 9600 --id 17").err,
        "qrv-idctl: 没有权限打开串口 /dev/ttyUSB0：请将用户加入 dialout 组（sudo adduser $USER "
        "dialout）后重新登录\n");
    EXPECT_TRUE(device.output().find("RX") == std::string::npos);
}

// The ports of a faked system: a USB adapter with its by-id link and the
// tool's link as port 3, a USB modem without a serial number, an on-board
// port, and what is no port (a serial8250 slot without a UART, a virtual
// terminal); the tool's links to a pseudo-terminal and to nothing.
TEST(Idctl, PortsOfTheSystemAndTheToolsLinks)
{
    TempDir sys, dev;
    Cli cli(std::vector<std::uint8_t>{});
    const auto tty = [&](const std::string& name, const std::string& device, const char* type) {
        std::filesystem::create_directories(sys.file(device));
        std::filesystem::create_directories(sys.file("class/tty/" + name));
        if (*type)
            std::filesystem::create_directory_symlink(sys.file(device),
                                                      sys.file("class/tty/" + name + "/device"));
        write_file(sys.file("class/tty/" + name + "/type"), std::string(type) + "\n");
        write_file(dev.file(name), "");
    };
    const auto usb = [&](const std::string& at, const Strings& attributes) {
        const char* names[] = {"idVendor", "idProduct", "manufacturer", "product", "serial"};
        for (std::size_t i = 0; i < attributes.size(); ++i)
            write_file(sys.file(at + "/" + names[i]), attributes[i] + "\n");
    };
    tty("ttyUSB0", "devices/pci0/usb1/1-1/1-1:1.0/ttyUSB0", "4");
    usb("devices/pci0/usb1/1-1", {"1a86", "7523", "QinHeng Electronics", "USB Serial", "A1B2"});
    tty("ttyACM0", "devices/pci0/usb2/2-1/2-1:1.0", "4");
    usb("devices/pci0/usb2/2-1", {"2341", "0043", "", "Arduino Uno"});
    tty("ttyS0", "devices/pnp0/00:01", "4");
    tty("ttyS1", "devices/platform/serial8250", "0");
    tty("tty1", "", "");
    std::filesystem::create_directories(dev.file("serial/by-id"));
    std::filesystem::create_symlink("../../ttyUSB0",
                                    dev.file("serial/by-id/usb-QinHeng_A1B2-port0"));
    write_file(dev.file("pts7"), "");
    std::filesystem::create_directories(cli.dir.file("ports"));
    for (const auto& [n, target] : {std::pair(3, "ttyUSB0"), {4, "ttyUSB1"}, {9, "pts7"}})
        std::filesystem::create_symlink(dev.file(target),
                                        cli.dir.file("ports/COM" + std::to_string(n)));
    cli.list_ports = [&](const std::string& folder) {
        return cli::system_ports_in(folder, sys.path(), dev.path());
    };
    const auto named = [&](std::string text) {
        for (const auto& [path, name] : {std::pair(dev.path(), "DEV"), {cli.dir.path(), "TOOL"}})
            text = std::regex_replace(text, std::regex(path), name);
        return text;
    };
    EXPECT_EQ(named(cli("ports").out),
              "DEV/ttyS0：窗口串口号 1\n"
              "DEV/ttyUSB0：QinHeng Electronics USB Serial，USB 1a86:7523，序列号 A1B2，"
              "DEV/serial/by-id/usb-QinHeng_A1B2-port0，窗口串口号 3（TOOL/ports/COM3）\n"
              "TOOL/ports/COM4 → DEV/ttyUSB1：链接指向的设备不存在\n"
              "DEV/pts7：窗口串口号 9（TOOL/ports/COM9）\n"
              "DEV/ttyACM0：Arduino Uno，USB 2341:0043\n"
              "找到 4 个串口\n工具文件夹（日志、parameter.txt、ports/）：TOOL\n");
    const std::string json = named(cli("ports --json").out);
    EXPECT_NE(
        json.find("{\"command\":\"ports\",\"result\":\"port\",\"exit\":0,\"baud\":null,"
                  "\"port_device\":\"DEV/ttyUSB0\",\"port_number\":3,\"link\":\"TOOL/ports/"
                  "COM3\",\"name\":\"QinHeng Electronics USB Serial\",\"usb_id\":\"1a86:7523\","
                  "\"serial\":\"A1B2\",\"by_id\":\"DEV/serial/by-id/usb-QinHeng_A1B2-port0\","),
        std::string::npos)
        << json;
    EXPECT_NE(json.find("{\"command\":\"ports\",\"result\":\"dead_link\",\"exit\":null,"
                        "\"baud\":null,\"link\":\"TOOL/ports/COM4\",\"target\":\"DEV/ttyUSB1\","),
              std::string::npos)
        << json;
    EXPECT_TRUE(cli.serial.calls.empty()); // no port is opened to list them
}

} // namespace
