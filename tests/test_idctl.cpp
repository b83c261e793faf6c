// qrv-idctl as a technician runs it, from a folder of its own, against the
// virtual device on a pseudo-terminal.
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
        const std::string line = "cd " + dir.path() + " && ./qrv-idctl " + args;
        const int status = std::system((line + " >out.txt 2>err.txt </dev/null").c_str());
        return {WEXITSTATUS(status), read_file(dir.file("out.txt")),
                read_file(dir.file("err.txt"))};
    }
    TempDir dir;
};

TEST(Idctl, AgainstTheVirtualDevice)
{
    const std::string change = "change --port 9 --baud 115200 --from 17 --to 1",
                      scan = "scan --port 9 ", found = "地址  波特率  寄存器10\n";
    const struct {
        std::vector<std::string> devices;
        std::string args;
        int status;
        std::string said;
    } rows[] = {
        // clang-format off
        {{}, change, 0, "ID 17 → 1：Modbus 新ID 设置成功，已在ID 1 读回确认\n"},
        {{"--id", "17", "--id", "1"}, change, 4, "ID 17 → 1：新ID 1 已被占用（寄存器10 = 1），未发送更改命令\n"},
        {{"--id", "17", "--id", "1", "--id", "1"}, change, 4, "ID 17 → 1：新ID 1 已被占用（应答CRC错误），未发送更改命令\n"},
        {{"--reply-from-old"}, change, 1, "ID 17 → 1：数据校验错误，设置失败，请重新设置\n"},
        {{"--no-answer"}, change, 1, "ID 17 → 1：设置无响应，请重新设置\n"},
        {{"--bad-crc"}, change, 1, "ID 17 → 1：数据校验错误，设置失败，请重新设置\n"},
        {{"--extra", "3"}, change, 1, "ID 17 → 1：设置无响应，请重新设置\n"}, // 11 bytes
        {{"--keep-id"}, change, 1, "ID 17 → 1：设备应答了更改，但在ID 1 读回：无应答，新ID未确认\n"},
        {{"--keep-id"}, change + " --no-verify", 0, "ID 17 → 1：Modbus 新ID 设置成功（未读回确认）\n"},
        {{}, "read --port 9 --baud 115200 --id 17 --json", 0,
         "{\"command\":\"read\",\"id\":17,\"result\":\"value\",\"value\":17,\"text\":\"寄存器10 = 17\"}\n"},
        {{"--id", "200"}, scan + "--baud 115200 --ids 195-205", 0, found + "200   115200  寄存器10 = 200\n找到 1 台设备\n"},
        {{"--id", "5", "--baud", "38400"}, scan + "--ids 4-6", 0, found + "5     38400   寄存器10 = 5\n找到 1 台设备\n"},
        {{"--id", "5", "--id", "9"}, scan + "--baud 9600 --ids 1-10", 0,
         found + "5     9600    寄存器10 = 5\n9     9600    寄存器10 = 9\n找到 2 台设备\n"},
        {{"--id", "5", "--id", "9"}, scan + "--baud 9600 --ids 1-10 --first", 0, found + "5     9600    寄存器10 = 5\n找到 1 台设备\n"},
        {{"--id", "7", "--id", "7"}, scan + "--baud 9600 --ids 6-8", 1, found + "7     9600    有应答，但无法识别：应答CRC错误\n找到 0 台设备\n"},
        // An answer after its window is heard in the next probe's: not a device there.
        {{"--id", "7", "--late", "80"}, scan + "--baud 9600 --ids 6-9 --timeout 50", 1,
         found + "8     9600    有应答，但无法识别：收到来自ID 7 的应答\n找到 0 台设备\n"},
        // Stopped by Ctrl-C (the redirections are the shell's, the tool's own commented out).
        {{"--id", "2"}, scan + "--baud 9600 >out.txt 2>&1 & sleep 1; kill -INT $!; wait $! #", 0,
         "qrv-idctl: 扫描已中断，以下为已找到的\n" + found + "2     9600    寄存器10 = 2\n找到 1 台设备\n"},
        // clang-format on
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.args);
        Tool tool;
        Devsim device(tool.dir.file("ports/COM9"), row.devices);
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
    const std::string port = tool.dir.file("ports/COM9");
    ASSERT_EQ(tool("change --port " + port + " --baud 9600 --from 17 --to 1").status, 0);
    std::string log; // the only file of the tool's folder named by a date
    for (const auto& e : std::filesystem::directory_iterator(tool.dir.path()))
        if (std::regex_match(e.path().filename().string(), std::regex(R"(\d{4}-\d\d-\d\d\.txt)")))
            log += read_file(e.path().string());
    EXPECT_EQ(std::regex_replace(log, std::regex("时间：[^\r]*"), "时间：2026/12/6 19:05:01"),
              record(success_entry));
}

TEST(Idctl, BatchStopsAtTheFirstFailureUnlessToldToGoOn)
{
    for (const char* more : {"", " --keep-going"}) {
        Tool tool;
        Devsim device(tool.dir.file("ports/COM9"), {"--id", "1", "--id", "3"});
        write_file(tool.dir.file("list.txt"), "# cabinet 4\n1 11\n\n2,12\n3  13\n");
        const Outcome run = tool(std::string("batch --port 9 --baud 115200 list.txt") + more);
        EXPECT_EQ(run.status, 1);
        EXPECT_TRUE(run.out.ends_with("2     1       11      confirmed\n4     2       12      "
                                      "no_reply\n5     3       13      " +
                                      std::string(*more ? "confirmed\n" : "skipped\n")))
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
    const std::string port = "--port 9 --baud 115200 ";
    const std::pair<std::string, std::string> rows[] = {
        // clang-format off
        {"change " + port + "--from 17 --to 1 --colour", "未知选项：--colour"},
        {"change " + port + "--from 0 --to 1", "选项 --from 的值无效：0"},
        {"change " + port + "--from 1.5 --to 1", "选项 --from 的值无效：1.5"},
        {"change " + port + "--from 17 --to 248", "选项 --to 的值无效：248"},
        {"change --port 9 --baud 4800 --from 17 --to 1", "选项 --baud 的值无效：4800"},
        {"change " + port + "--from 17 --to 17", "新ID与原ID相同"},
        {"read " + port + "--id", "选项 --id 的值无效"},
        {"batch " + port + "missing", "无法读取文件：missing"}, {"batch " + port + "binary", "不是文本文件"},
        {"batch " + port + "million", "文件过大"}, {"batch " + port + "bad", "第2行：应为“原ID 新ID”"},
        {"batch " + port + "dup", "第2行：新ID 5 已在第1行使用"},
        {"batch " + port + "chain", "第1行：新ID 2 是第2行的原ID"},
        // clang-format on
    };
    for (const auto& [args, said] : rows) {
        const Outcome run = tool(args);
        EXPECT_EQ(run.status, 2) << args;
        EXPECT_NE(run.err.find(said), std::string::npos) << args << "\n" << run.err;
    }
    const Outcome run = tool("read --port 24 --baud 9600 --id 1");
    EXPECT_EQ(run.status, 3);
    EXPECT_NE(run.err.find("串口打开失败，请确认串口号是否正确：24"), std::string::npos);
}

} // namespace
