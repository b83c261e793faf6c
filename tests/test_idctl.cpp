// qrv-idctl as a technician runs it, against the virtual device on a
// pseudo-terminal, from its own folder.
#include "fakes.h"
#include "pty.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <regex>

using namespace qrv::test;

namespace {

struct Outcome {
    int status;
    std::string out, err;
};

// The tool in a folder of its own, which its day log and ports/ go to.
struct Tool {
    Tool() { std::filesystem::copy_file(QRV_IDCTL_PATH, dir.file("qrv-idctl")); }
    Outcome operator()(const std::string& args)
    {
        const int status = std::system(
            ("cd " + dir.path() + " && ./qrv-idctl " + args + " >out.txt 2>err.txt </dev/null")
                .c_str());
        return {WEXITSTATUS(status), read_file(dir.file("out.txt")),
                read_file(dir.file("err.txt"))};
    }
    std::string day_log()
    {
        for (const auto& e : std::filesystem::directory_iterator(dir.path()))
            if (std::regex_match(e.path().filename().string(),
                                 std::regex(R"(\d{4}-\d\d-\d\d\.txt)")))
                return read_file(e.path().string());
        return "";
    }
    TempDir dir;
};

TEST(Idctl, ChangeIsCheckedBeforeAndAfter)
{
    const std::string change = "change --port 9 --baud 115200 --from 17 --to 1";
    const struct {
        std::vector<std::string> device;
        std::string args;
        int status;
        std::string said;
    } rows[] = {
        {{"--id", "17"}, change, 0, "ID 17 → 1：Modbus 新ID 设置成功，已在ID 1 读回确认\n"},
        {{"--id", "17", "--id", "1"},
         change,
         4,
         "ID 17 → 1：新ID 1 已被占用（寄存器10 = 1），未发送更改命令\n"},
        {{"--id", "17", "--reply-from-old"},
         change,
         1,
         "ID 17 → 1：数据校验错误，设置失败，请重新设置\n"},
        {{"--id", "17", "--no-answer"}, change, 1, "ID 17 → 1：设置无响应，请重新设置\n"},
        {{"--id", "17", "--keep-id"},
         change,
         1,
         "ID 17 → 1：设备应答了更改，但在ID 1 读回：无应答，新ID未确认\n"},
        {{"--id", "17", "--keep-id"},
         change + " --no-verify",
         0,
         "ID 17 → 1：Modbus 新ID 设置成功（未读回确认）\n"},
        {{"--id", "17"},
         "read --port 9 --baud 115200 --id 17 --json",
         0,
         "{\"command\":\"read\",\"id\":17,\"result\":\"value\",\"value\":17,\"text\":\"寄存器10 = "
         "17\"}\n"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.args);
        Tool tool;
        Devsim device(tool.dir.file("ports/COM9"), row.device);
        const Outcome run = tool(row.args);
        EXPECT_EQ(run.status, row.status) << run.err;
        EXPECT_EQ(run.out, row.said);
        // Nothing goes to the old ID when the new one is taken.
        EXPECT_EQ(device.output().find("RX 11 6 0 A 0 1 6A 98") != std::string::npos,
                  row.status != 4 && row.args.starts_with("change"));
    }
}

TEST(Idctl, DayLogHoldsTheWindowsEntry)
{
    Tool tool;
    Devsim device(tool.dir.file("ports/COM9"));
    ASSERT_EQ(tool("change --port " + tool.dir.file("ports/COM9") + " --baud 9600 --from 17 --to 1")
                  .status,
              0);
    const std::string entry = std::regex_replace(tool.day_log(), std::regex("设置时间：[^\r]*"),
                                                 "设置时间：2026/12/6 19:05:01");
    EXPECT_EQ(entry, record(success_entry));
}

TEST(Idctl, BatchStopsAtTheFirstFailureUnlessToldToGoOn)
{
    for (const bool keep_going : {false, true}) {
        Tool tool;
        Devsim device(tool.dir.file("ports/COM9"), {"--id", "1", "--id", "3"});
        write_file(tool.dir.file("list.txt"), "# cabinet 4\n1 11\n\n2,12\n3  13\n");
        const Outcome run = tool(std::string("batch --port 9 --baud 115200 list.txt") +
                                 (keep_going ? " --keep-going" : ""));
        EXPECT_EQ(run.status, 1);
        EXPECT_NE(run.out.find("2     1       11      confirmed\n"
                               "4     2       12      no_reply\n"
                               "5     3       13      " +
                               std::string(keep_going ? "confirmed" : "skipped")),
                  std::string::npos)
            << run.out;
    }
}

TEST(Idctl, BadInputIsRefusedBeforeAnythingIsSent)
{
    Tool tool;
    write_file(tool.dir.file("binary"), std::string("1 2\n\0\x01", 6));
    write_file(tool.dir.file("dup"), "1 5\n2 5\n");
    write_file(tool.dir.file("chain"), "1 2\n2 3\n");
    write_file(tool.dir.file("bad"), "1 2\n3 x\n");
    std::string million;
    for (int i = 0; i < 1'000'000; ++i)
        million += "1 2\n";
    write_file(tool.dir.file("million"), million);
    const struct {
        std::string args, said;
    } rows[] = {
        {"change --port 9 --baud 115200 --from 17 --to 1 --colour", "未知选项：--colour"},
        {"change --port 9 --baud 115200 --from 0 --to 1", "选项 --from 的值无效：0"},
        {"change --port 9 --baud 115200 --from 1.5 --to 1", "选项 --from 的值无效：1.5"},
        {"change --port 9 --baud 115200 --from 17 --to 248", "选项 --to 的值无效：248"},
        {"change --port 9 --baud 4800 --from 17 --to 1", "选项 --baud 的值无效：4800"},
        {"change --port 9 --baud 115200 --from 17 --to 17", "新ID与原ID相同"},
        {"read --port 9 --baud 115200 --id", "选项 --id 的值无效"},
        {"batch --port 9 --baud 115200 missing", "无法读取文件：missing"},
        {"batch --port 9 --baud 115200 binary", "不是文本文件"},
        {"batch --port 9 --baud 115200 million", "文件过大"},
        {"batch --port 9 --baud 115200 bad", "第2行：应为“原ID 新ID”"},
        {"batch --port 9 --baud 115200 dup", "第2行：新ID 5 已在第1行使用"},
        {"batch --port 9 --baud 115200 chain", "第1行：新ID 2 是第2行的原ID"},
    };
    for (const auto& row : rows) {
        const Outcome run = tool(row.args);
        EXPECT_EQ(run.status, 2) << row.args;
        EXPECT_NE(run.err.find(row.said), std::string::npos) << row.args << "\n" << run.err;
    }
    const Outcome run = tool("read --port 24 --baud 9600 --id 1");
    EXPECT_EQ(run.status, 3);
    EXPECT_NE(run.err.find("串口打开失败，请确认串口号是否正确：24"), std::string::npos);
}

TEST(Idctl, ScanFindsDevicesAndNeverTakesGarbleForOne)
{
    const std::string header = "地址  波特率  寄存器10\n";
    const struct {
        std::vector<std::string> devices;
        std::string args;
        int status;
        std::string said;
    } rows[] = {
        // clang-format off
        {{"--id", "200"}, "--baud 115200 --ids 195-205", 0, "200   115200  寄存器10 = 200\n找到 1 台设备\n"},
        {{"--id", "5", "--baud", "38400"}, "--ids 4-6", 0, "5     38400   寄存器10 = 5\n找到 1 台设备\n"},
        {{"--id", "5", "--id", "9"}, "--baud 9600 --ids 1-10", 0,
         "5     9600    寄存器10 = 5\n9     9600    寄存器10 = 9\n找到 2 台设备\n"},
        {{"--id", "5", "--id", "9"}, "--baud 9600 --ids 1-10 --first", 0, "5     9600    寄存器10 = 5\n找到 1 台设备\n"},
        {{"--id", "7", "--id", "7"}, "--baud 9600 --ids 6-8", 1, "7     9600    有应答，但无法识别：应答CRC错误\n找到 0 台设备\n"},
        // An answer after the window is heard during the next probe: not a device there.
        {{"--id", "7", "--late", "80"}, "--baud 9600 --ids 6-9 --timeout 50", 1,
         "8     9600    有应答，但无法识别：收到来自ID 7 的应答\n找到 0 台设备\n"},
        // clang-format on
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.args);
        Tool tool;
        Devsim device(tool.dir.file("ports/COM9"), row.devices);
        const Outcome run = tool("scan --port 9 " + row.args);
        EXPECT_EQ(run.status, row.status) << run.err;
        EXPECT_EQ(run.out, header + row.said);
    }
}

TEST(Idctl, ScanStoppedByCtrlCShowsWhatItFound)
{
    Tool tool;
    Devsim device(tool.dir.file("ports/COM9"), {"--id", "2"});
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::execl("/bin/sh", "sh", "-c",
                ("cd " + tool.dir.path() +
                 " && exec ./qrv-idctl scan --port 9 --baud 9600 >out.txt 2>err.txt")
                    .c_str(),
                nullptr);
        ::_exit(127);
    }
    std::this_thread::sleep_for(1s); // about ten probes
    ::kill(pid, SIGINT);
    int status = 0;
    ::waitpid(pid, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    EXPECT_EQ(read_file(tool.dir.file("out.txt")),
              "地址  波特率  寄存器10\n2     9600    寄存器10 = 2\n找到 1 台设备\n");
    EXPECT_NE(read_file(tool.dir.file("err.txt")).find("扫描已中断"), std::string::npos);
}

} // namespace
