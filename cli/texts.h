// What qrv-idctl says beyond the core's results: the lines that frame them,
// its progress, the scan's table, and its refusals of a batch list or of a
// command line.
#pragma once

#include "frame.h"
#include "ports.h"

#include <cstddef>
#include <cstdint>
#include <string>

namespace qrv::cli {

inline constexpr char text_not_run[] = "未执行";
std::string text_log_not_written(const std::string& path, const std::string& reason);
std::string text_batch_done(std::size_t done, std::size_t total);

// The line: a port that failed during a run, and an adapter that sends back
// what it is sent.
std::string text_port_failure(const std::string& device, const std::string& reason);
inline constexpr char text_echo_found[] = "串口转换器回送发出的命令，已去掉回送再判断应答";
inline constexpr char text_output_failed[] = "结果无法写到标准输出，当前操作完成后停止";
inline constexpr char text_line_busy[] = "线路上一直有数据，等不到空闲";
std::string text_noise_dropped(std::size_t bytes);
inline constexpr char text_read_stopped[] = "已中断，未等到应答";
inline constexpr char text_list_stopped[] = "已中断，未发送任何命令";

// A scan.
inline constexpr char text_scan_heading[] = "地址  波特率  寄存器10"; // CJK: two columns each
inline constexpr char text_register_differs[] = "（与应答地址不同）";
std::string text_unrecognised(const ReadReply& reply);
std::string text_found(std::size_t devices);
std::string text_speed_refused(std::int32_t baud);
inline constexpr char text_scan_stopped[] = "扫描已中断，以下为已找到的";
inline constexpr char text_scan_line_failed[] = "串口已断开，扫描停止";

// A device's identification, beside a scan's hit.
std::string text_identity(const IdentifyReply& identity);
inline constexpr char text_identify_malformed[] = "标识应答格式错误";

// Numbering new devices as they are connected.
std::string text_assign_waiting(int from, int next_id, std::size_t devices);
std::string text_assign_changing(int from, int to, std::size_t device);
std::string text_several(int from, const ReadReply& reply);
std::string text_skipped(int id, const ReadReply& reply);
std::string text_device_number(std::size_t device); // "第 2 台："
inline constexpr char text_remove_device[] = "请取下这台设备，再接下一台";
inline constexpr char text_list_used_up[] = "新ID列表已用完，这台设备未更改";
std::string text_assign_done(std::size_t numbered, std::size_t devices);

// The table of a batch or of assign: its headings, and a result's word in
// it (the JSON's word where it has none of its own).
inline constexpr char text_table_line[] = "行";
inline constexpr char text_table_device[] = "设备";
inline constexpr char text_table_old[] = "原ID";
inline constexpr char text_table_new[] = "新ID";
inline constexpr char text_table_result[] = "结果";
const char* text_result_word(const std::string& result);

// Results and progress.
std::string text_id(int id);            // "ID 17："
std::string text_ids(int from, int to); // "ID 17 → 1："
std::string text_batch_progress(std::size_t at, std::size_t of, int line, int from, int to);
std::string text_scan_progress(std::int32_t baud, int id, std::size_t devices,
                               std::size_t seconds_left);

// The serial ports the system has: one line for each, and the last.
std::string text_system_port(const SystemPort& port);
std::string text_ports_found(std::size_t ports);
inline constexpr char help_ports[] =
    "列出本机的串口：每个串口给 --port 的设备名、窗口的串口号（1~24）及系统对它的描述\n";

// A batch list refused.
inline constexpr char text_same_ids[] = "新ID与原ID相同";
std::string text_at_line(int line, const std::string& what);
inline constexpr char text_not_text[] = "不是文本文件";
inline constexpr char text_bad_line[] = "应为“原ID 新ID”，ID为1~247的整数";
std::string text_new_id_twice(int new_id, int other_line);
std::string text_old_id_twice(int old_id, int other_line);
std::string text_new_id_is_old(int new_id, int other_line);
inline constexpr char text_no_changes[] = "文件中没有要更改的ID";
inline constexpr char text_not_a_file[] = "不是普通文件";
inline constexpr char text_no_file[] = "文件不存在";
inline constexpr char text_file_too_big[] = "文件过大（超过1 MiB）";
std::string text_unreadable(const std::string& reason);
inline constexpr char text_file_refused[] = "文件有误，未发送任何命令";
std::string text_more_errors(std::size_t more);

// The help's last lines: the exit statuses, with what stops a run on the
// platform, and, where a command takes a file, how it is given.
inline constexpr char text_stops_posix[] = "被 Ctrl-C、SIGTERM、SIGHUP 或 SIGQUIT 中断";
inline constexpr char text_stops_windows[] = "被 Ctrl-C、Ctrl-Break 或关闭控制台窗口中断";
std::string text_exit_statuses(const std::string& stops);
inline constexpr char text_words_help[] = "FILE 为 - 时从标准输入读取；-- 之后的参数都不是选项\n";
// Where the tool's files are (tool_folder.h): what the folder holds on the
// platform, and the folder.
inline constexpr char text_folder_holds_posix[] = "日志、parameter.txt、ports/";
inline constexpr char text_folder_holds_windows[] = "日志、parameter.txt";
std::string text_tool_folder(const std::string& holds, const std::string& folder);
// A console that is the program's own (Windows: a double-click) closes with
// it: it says where to run the program, and waits for a key.
inline constexpr char text_run_from_a_prompt[] =
    "qrv-idctl 是命令行程序，请在命令提示符或 PowerShell 中运行。";
inline constexpr char text_press_a_key[] = "按任意键关闭此窗口";

// A command line refused.
inline constexpr char usage_no_command[] = "缺少命令";
std::string usage_unknown_command(const std::string& command);
std::string usage_unknown_option(const std::string& option);
// A plain word the command has no place for; word: the one it takes, if any.
std::string usage_extra(const std::string& command, const std::string& extra, const char* word);
std::string usage_not_for(const std::string& command, const std::string& option);
std::string usage_bad_value(const std::string& option, const std::string& value);
std::string usage_twice(const std::string& option);
std::string usage_needs(const std::string& command, const std::string& what);
std::string usage_see(const std::string& help_command);

} // namespace qrv::cli
