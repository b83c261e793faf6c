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
    Ran operator()(const std::string& args)
    {
        std::istringstream words(args);
        std::vector<std::string> argv{std::istream_iterator<std::string>(words), {}};
        std::FILE* out = std::tmpfile();
        std::FILE* err = std::tmpfile();
        const int status = cli::run(
            argv, dir.path(),
            {serial, clock, [this] { return stop_at >= 0 && clock.now >= stop_at; }}, out, err);
        return {status, text_of(out), text_of(err)};
    }
    std::string day_log() { return read_file(dir.file("2026-12-06.txt")); }

    TempDir dir;
    std::int64_t stop_at = -1; // Ctrl-C from then on
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

TEST(Idctl, OutcomesExitStatusesAndRecords)
{
    using Setup = std::function<void(Cli&)>;
    const Setup none = [](Cli&) {};
    const auto late = [](int ms) { return [ms](Cli& c) { c.serial.latency_ms = ms; }; };
    const struct {
        std::vector<std::uint8_t> ids;
        devsim::Faults faults;
        Setup setup;
        std::string args;
        int status;
        std::string said, last_line; // the entry's line before the star line; "": none filed
    } rows[] = {
        // clang-format off
        {{17}, {}, none, change, 0, "ID 17 → 1：Modbus 新ID 设置成功，已在ID 1 读回确认\n", "已在ID 1 读回确认"},
        {{17, 1}, {}, none, change, 4, "ID 17 → 1：新ID 1 已被占用（寄存器10 = 1），未发送更改命令\n", ""},
        // A device at the new ID slower than the window: heard before the change goes out.
        {{17, 1}, {}, late(300), change, 4,
         "ID 17 → 1：新ID 1 已被占用（寄存器10 = 1（应答晚于等待时间）），未发送更改命令\n", ""},
        {{17}, {true, false}, none, change, 1, "ID 17 → 1：数据校验错误，设置失败，请重新设置\n",
         "数据校验错误，设置失败，请重新设置"},
        {{}, {}, none, change + "--force", 1, "ID 17 → 1：设置无响应，请重新设置\n", "设置无响应，请重新设置"},
        {{17}, {false, true}, none, change, 1,
         "ID 17 → 1：设备应答了更改，但在ID 1 读回：无应答，新ID未确认\n", "在ID 1 读回：无应答，新ID未确认"},
        {{17}, {false, true}, none, change + "--no-verify", 0, "ID 17 → 1：Modbus 新ID 设置成功，未读回确认\n",
         "未读回确认"},
        {{17}, {}, [](Cli& c) { std::filesystem::create_directory(c.dir.file("2026-12-06.txt")); }, change, 5,
         "ID 17 → 1：Modbus 新ID 设置成功，已在ID 1 读回确认\n日志文件写入失败，请检查程序目录是否可写：", ""},
        // Ctrl-C during the wait: the attempt and its record are whole, the read-back left out.
        {{17}, {}, [](Cli& c) { c.stop_at = 1000; }, change, 130,
         "ID 17 → 1：Modbus 新ID 设置成功，已中断，未读回确认\n", "已中断，未读回确认"},
        {{17}, {}, [](Cli& c) { c.stop_at = 0; }, change, 130, "ID 17 → 1：已中断，未发送更改命令\n", ""},
        {{7, 7}, {}, none, "read --port 9 --baud 9600 --id 7", 1, "ID 7：应答CRC错误\n", ""},
        {{3, 3, 5}, {}, none, "scan --port 9 --baud 9600 --ids 1-9 --first", 0,
         "地址  波特率  寄存器10\n3     9600    有应答，但无法识别：应答CRC错误\n5     9600    寄存器10 = 5\n找到 1 台设备\n", ""},
        {{5}, {}, [](Cli& c) { c.serial.refused_bauds = {230400}; }, "scan --port 9 --baud 230400", 3,
         "波特率 230400 设置失败，未扫描\n地址  波特率  寄存器10\n找到 0 台设备\n", ""},
        // clang-format on
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.args);
        Cli cli(row.ids, row.faults);
        row.setup(cli);
        const Ran run = cli(row.args);
        EXPECT_EQ(run.status, row.status) << run.err;
        EXPECT_EQ(run.out.substr(0, row.said.size()), row.said);
        EXPECT_EQ(last_line(cli.day_log()), row.last_line);
        // Nothing goes to the old ID unless the change is sent.
        const bool sent = std::ranges::count(cli.serial.written, request_17_to_1) > 0;
        EXPECT_EQ(sent, row.last_line != "" || row.status == 5);
    }
}

TEST(Idctl, OneJsonVocabulary)
{
    Cli cli({17, 3});
    write_file(cli.dir.file("list.txt"), "1 11\n3,13  # cabinet 4\n17 7\n");
    const Ran run = cli("batch --port 9 --baud 9600 " + cli.dir.file("list.txt") + " --json");
    EXPECT_EQ(run.status, 1);
    const std::string log = cli.dir.file("2026-12-06.txt");
    EXPECT_EQ(run.out,
              "{\"command\":\"batch\",\"result\":\"no_reply\",\"exit\":1,\"baud\":9600,\"line\":1,"
              "\"from\":1,\"to\":11,\"check\":{\"result\":\"no_reply\"},\"filed\":true,\"log\":\"" +
                  log +
                  "\",\"text\":\"ID 1 → 11：设置无响应，请重新设置\"}\n"
                  "{\"command\":\"batch\",\"result\":\"not_run\",\"exit\":1,\"baud\":9600,"
                  "\"line\":2,\"from\":3,\"to\":13,\"text\":\"未执行\"}\n"
                  "{\"command\":\"batch\",\"result\":\"not_run\",\"exit\":1,\"baud\":9600,"
                  "\"line\":3,\"from\":17,\"to\":7,\"text\":\"未执行\"}\n"
                  "{\"command\":\"batch\",\"result\":\"summary\",\"exit\":1,\"baud\":9600,"
                  "\"done\":1,\"total\":3,\"interrupted\":false,\"text\":\"\"}\n");
    EXPECT_EQ(cli("read --port 9 --baud 9600 --id 3 --json").out,
              "{\"command\":\"read\",\"result\":\"value\",\"exit\":0,\"baud\":9600,\"id\":3,"
              "\"value\":3,\"text\":\"ID 3：寄存器10 = 3\"}\n");
    EXPECT_EQ(cli("scan --port 9 --ids 3-3 --first --json").out,
              "{\"command\":\"scan\",\"result\":\"value\",\"exit\":0,\"baud\":9600,\"id\":3,"
              "\"device\":true,\"value\":3,\"text\":\"寄存器10 = 3\"}\n"
              "{\"command\":\"scan\",\"result\":\"summary\",\"exit\":0,\"baud\":null,\"found\":1,"
              "\"done\":1,\"total\":6,\"interrupted\":false,\"text\":\"找到 1 台设备\"}\n");
    EXPECT_EQ(cli("scan --port 9 --id 3 --json").out,
              "{\"command\":\"scan\",\"result\":\"usage_error\",\"exit\":2,\"baud\":null,"
              "\"text\":\"命令 scan 不接受选项 --id\"}\n");
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

// The program itself in a folder of its own, against the virtual device.
struct Tool {
    Tool() { std::filesystem::copy_file(QRV_IDCTL_PATH, dir.file("qrv-idctl")); }
    // The command line; with heard, Ctrl-C once the device has printed it.
    Ran operator()(const std::string& args, const std::string& heard = "")
    {
        std::string line = "./qrv-idctl " + args + " >out.txt 2>err.txt </dev/null";
        if (!heard.empty())
            line += " & until grep -q \"" + heard +
                    "\" ports/COM9.out; do sleep 0.01; done; kill -INT $!; wait $!";
        const int status = std::system(("cd " + dir.path() + " && bash -c '" + line + "'").c_str());
        return {WEXITSTATUS(status), read_file(dir.file("out.txt")),
                read_file(dir.file("err.txt"))};
    }
    std::string day_log() const
    {
        for (const auto& e : std::filesystem::directory_iterator(dir.path()))
            if (std::regex_match(e.path().filename().string(),
                                 std::regex(R"(\d{4}-\d\d-\d\d\.txt)")))
                return read_file(e.path().string());
        return "";
    }
    TempDir dir;
};

TEST(Idctl, AgainstTheVirtualDevice)
{
    const std::string batch = "batch --port 9 --baud 115200 list.txt";
    const struct {
        std::vector<std::string> devices;
        std::string args, heard;
        int status;
        std::string said, filed;
    } rows[] = {
        // clang-format off
        // Answers 300 ms late are never taken for the next request's.
        {{"--late", "300", "--id", "1", "--id", "2", "--id", "3"}, batch + " --keep-going", "", 0,
         "line  old     new     result\n1     1       11      confirmed\n2     2       12      confirmed\n"
         "3     3       13      confirmed\n", "已在ID 13 读回确认"},
        // Ctrl-C while the second change waits: the table still comes.
        {{"--id", "1", "--id", "2", "--id", "3"}, batch, "RX 2 6 0 A 0 C", 130,
         "line  old     new     result\n1     1       11      confirmed\n2     2       12      unverified\n"
         "3     3       13      not_run\n", "已中断，未读回确认"},
        {{"--id", "40"}, "change --port 9 --baud 115200 --from 40 --to 41", "RX 28 6 0 A 0 29", 130,
         "ID 40 → 41：Modbus 新ID 设置成功，已中断，未读回确认\n", "已中断，未读回确认"},
        // Firmware that restarts to take its new ID is asked again until it answers there.
        {{"--restart", "1300", "--id", "17"}, "change --port 9 --baud 115200 --from 17 --to 1", "", 0,
         "ID 17 → 1：Modbus 新ID 设置成功，已在ID 1 读回确认\n", "已在ID 1 读回确认"},
        {{}, "batch --port 9 --baud 115200 ports", "", 2, "", ""},
        // clang-format on
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.args);
        Tool tool;
        write_file(tool.dir.file("list.txt"), "1 11\n2 12\n3 13\n");
        Devsim device(tool.dir.file("ports/COM9"), row.devices);
        const Ran run = tool(row.args, row.heard);
        EXPECT_EQ(run.status, row.status) << run.err;
        EXPECT_TRUE(run.out.ends_with(row.said)) << run.out;
        EXPECT_EQ(row.filed.empty() ||
                      tool.day_log().find(row.filed + star_line) != std::string::npos,
                  true);
    }
}

} // namespace
