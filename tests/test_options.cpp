// qrv-idctl's command line: what each command takes, and why a command line
// is refused before anything is opened or sent.
#include "options.h"

#include <gtest/gtest.h>
#include <sstream>

using namespace qrv::cli;

namespace {

Parsed parse(const std::string& line, int max_port = qrv::port_count)
{
    std::istringstream words(line);
    return parse_options({std::istream_iterator<std::string>(words), {}}, max_port);
}

} // namespace

TEST(Options, RefusedWithTheReason)
{
    const std::string change = "change --port 9 --baud 9600 --from 17 ";
    const std::pair<std::string, std::string> rows[] = {
        // clang-format off
        {change + "--to 1 --colour", "未知选项：--colour"}, {"scan --port 9 --id 31", "命令 scan 不接受选项 --id"},
        {"read --port 9 --baud 9600 --id 1 --confirm-ms 5", "命令 read 不接受选项 --confirm-ms"},
        {"change --port 0 --baud 9600 --from 17 --to 1", "选项 --port 的值无效：0"},
        {"change --port 25 --baud 9600 --from 17 --to 1", "选项 --port 的值无效：25"},
        {"change --port 9 --baud 4800 --from 17 --to 1", "选项 --baud 的值无效：4800"},
        {"change --port 9 --baud 9600 --from 1.5 --to 1", "选项 --from 的值无效：1.5"},
        {change + "--to 248", "选项 --to 的值无效：248"}, {change + "--to 17", "新ID与原ID相同"},
        {"change --port 9 --from 17 --to 1", "change 需要 --baud"}, {"read --port 9 --baud 9600 --id", "选项 --id 的值无效："},
        {"scan --port 9 --ids 9-5", "选项 --ids 的值无效：9-5"}, {"scan --port 9 --ids 5-", "选项 --ids 的值无效：5-"},
        {"batch --port 9 --baud 9600", "batch 需要 FILE"}, {"flash", "未知命令：flash"}, {"", "缺少命令"},
        {change + "--to 1 --to 2", "选项 --to 重复"}, {"read --port 9 --baud 9600", "read 需要 --id"},
        {"read --port -1 --baud 9600 --id 1", "选项 --port 的值无效：-1"},
        {"batch --port 9 --baud 9600 -- list.txt --keep-going", "多余的参数：--keep-going（batch 只接受一个 FILE，请删去其余的）"},
        {"batch --port 9 --baud 9600 a.txt b.txt", "多余的参数：b.txt（batch 只接受一个 FILE，请删去其余的）"},
        {"read --port 9 --baud 9600 --id 1 17", "多余的参数：17（值须紧跟在它的选项之后，如 --id 17；请删去或补上选项）"},
        {"--json", "缺少命令"}, {"--json flash", "缺少命令"},
        {change + "--to 1 --echo maybe", "选项 --echo 的值无效：maybe"}, {change + "--to 20,21", "选项 --to 的值无效：20,21"},
        {"assign --port 9 --baud 9600 --from 17 --to 20,20-21", "选项 --to 的值无效：20,20-21"},
        {"assign --port 9 --baud 9600 --from 17 --to 20,", "选项 --to 的值无效：20,"},
        {"assign --port 9 --baud 9600 --from 17 --to 1-20", "新ID与原ID相同"},
        // Listing the ports opens none: no option of the line.
        {"ports --port 9", "命令 ports 不接受选项 --port"}, {"ports --verbose", "命令 ports 不接受选项 --verbose"},
        // clang-format on
    };
    for (const auto& [line, said] : rows) {
        const Parsed parsed = parse(line);
        ASSERT_TRUE(std::holds_alternative<UsageError>(parsed)) << line;
        EXPECT_EQ(std::get<UsageError>(parsed).message, said) << line;
    }
}

TEST(Options, HelpOfACommandAndOfAll)
{
    const auto help = [](const std::string& line) { return std::get<Help>(parse(line)).text; };
    EXPECT_TRUE(help("read --help").starts_with("用法：qrv-idctl read   --port P --baud B --id X"));
    // Each command's help: its own options only, each as it means there, and two examples.
    const struct {
        std::string line;
        std::vector<std::string> has, has_not;
    } helps[] = {
        // clang-format off
        {"read --help", {"\n示例：\n  qrv-idctl read --port 3 --baud 9600 --id 17\n  qrv-idctl read "}, {"--confirm-ms", "all", "FILE"}},
        {"change --help", {"  --to Y           设备的新ID（1~247）\n", "示例：\n  qrv-idctl change "}, {"LIST", "assign"}},
        {"assign --help", {"  --to LIST        依次使用的新ID", "--keep-going     某台设备未确认后继续编号下一台"}, {"--to Y", "--force"}},
        {"batch --help", {"--keep-going     某行失败后继续执行后面的行", "FILE 为 - 时从标准输入读取"}, {"编号"}},
        {"scan --help", {"all（默认）：依次扫描所有波特率", "qrv-idctl scan --port 3\n"}, {"--from"}},
        {"--help", {"qrv-idctl 命令 --help", "示例：\n  qrv-idctl scan --port 3\n"}, {"设备现在的ID"}},
        // clang-format on
    };
    for (const auto& row : helps) {
        const std::string text = help(row.line);
        for (const std::string& has : row.has)
            EXPECT_NE(text.find(has), std::string::npos) << row.line << ": " << has;
        for (const std::string& has_not : row.has_not)
            EXPECT_EQ(text.find(has_not), std::string::npos) << row.line << ": " << has_not;
    }
    // Options before the command are taken as after it.
    const Options before = std::get<Options>(parse("--json --port 9 scan --ids 3"));
    EXPECT_EQ(std::tuple(before.command, before.json, before.port, int(before.first_id)),
              std::tuple(Command::scan, true, std::string("9"), 3));
    EXPECT_NE(help("--help").find("qrv-idctl scan"), std::string::npos);
    EXPECT_NE(help("change --help")
                  .find("--confirm-ms MS  "
                        "更改后等待结束起，在新ID反复读回确认的最长毫秒数（默认2500）（0~60000）"),
              std::string::npos);
    EXPECT_NE(std::get<Help>(parse("scan --help", 255)).text.find("串口号或设备（1~255）"),
              std::string::npos);
    EXPECT_EQ(help("--version"), "qrv-idctl " QRV_VERSION "\n");
    EXPECT_TRUE(help("ports --help")
                    .starts_with("用法：qrv-idctl ports [--json]\n选项：\n  --json           "
                                 "每个结果输出一行JSON\n列出本机的串口"));
    EXPECT_NE(help("ports --help").find("\n示例：\n  qrv-idctl ports\n  qrv-idctl ports --json\n"),
              std::string::npos);
    // What stops a run, as each platform has it.
    EXPECT_NE(help("--help").find("130 被 Ctrl-C、SIGTERM、SIGHUP 或 SIGQUIT 中断\n"),
              std::string::npos);
    const std::string windows =
        std::get<Help>(parse_options({"--help"}, 255, text_stops_windows)).text;
    EXPECT_NE(windows.find("130 被 Ctrl-C、Ctrl-Break 或关闭控制台窗口中断\n"), std::string::npos);
    EXPECT_EQ(windows.find("SIG"), std::string::npos);
    const Options opt = std::get<Options>(parse("scan --port /dev/ttyUSB0 --ids 7 --first"));
    EXPECT_EQ(std::tuple(opt.port, opt.baud, int(opt.first_id), int(opt.last_id), opt.first),
              std::tuple(std::string("/dev/ttyUSB0"), 0, 7, 7, true));
    // Windows takes every COM port by number; a file named like an option follows "--".
    EXPECT_EQ(std::get<Options>(parse("read --port 30 --baud 9600 --id 1", 255)).port, "30");
    EXPECT_TRUE(std::holds_alternative<UsageError>(parse("read --port 30 --baud 9600 --id 1")));
    EXPECT_EQ(std::get<Options>(parse("batch --port 9 --baud 9600 -- -list")).file, "-list");
    EXPECT_EQ(
        std::get<Options>(parse("assign --port 9 --baud 9600 --from 1 --to 30,20-22,7")).to_list,
        (std::vector<std::uint8_t>{30, 20, 21, 22, 7}));
}
