#include "vocabulary.h"

#include "frame.h"

#include <algorithm>
#include <cstdio>

namespace qrv {

std::vector<std::int32_t> scan_speeds()
{
    // 9600 is the factory default of most devices, 115200 the window's.
    std::vector<std::int32_t> order{9600, 115200};
    for (const std::int32_t baud : line_speeds)
        if (std::ranges::find(order, baud) == order.end())
            order.push_back(baud);
    return order;
}

bool is_line_speed(std::int64_t baud)
{
    return std::ranges::find(line_speeds, baud) != line_speeds.end();
}

std::string reply_text(const ReadReply& reply)
{
    std::string text;
    switch (reply.kind) {
    case ReadReply::Kind::value:
        text = "寄存器10 = " + std::to_string(reply.value);
        break;
    case ReadReply::Kind::exception:
        text = "异常应答，异常码 " + std::to_string(reply.code);
        break;
    case ReadReply::Kind::other_address:
        text = "收到来自ID " + std::to_string(reply.from) + " 的应答";
        break;
    case ReadReply::Kind::bad_crc:
        text = "应答CRC错误";
        break;
    case ReadReply::Kind::garbled:
        text = "应答无法识别";
        break;
    case ReadReply::Kind::truncated:
        text = "应答不完整";
        break;
    case ReadReply::Kind::none:
        text = "无应答";
        break;
    }
    return reply.late ? text + "（应答晚于等待时间）" : text;
}

std::string readback_confirmed(int new_id)
{
    return "已在ID " + std::to_string(new_id) + " 读回确认";
}

std::string readback_unconfirmed(int new_id, const ReadReply& after)
{
    return "在ID " + std::to_string(new_id) + " 读回：" + reply_text(after) + "，新ID未确认";
}

std::string text_taken(int new_id, const ReadReply& before)
{
    return "新ID " + std::to_string(new_id) + " 已被占用（" + reply_text(before) +
           "），未发送更改命令";
}

std::string text_log_not_written(const std::string& path, const std::string& reason)
{
    return std::string(msg_log_write_failed) + "：" + path + "（" + reason + "）";
}

std::string text_unrecognised(const ReadReply& reply)
{
    return "有应答，但无法识别：" + reply_text(reply);
}

std::string text_found(std::size_t devices)
{
    return "找到 " + std::to_string(devices) + " 台设备";
}

std::string text_speed_refused(std::int32_t baud)
{
    return "波特率 " + std::to_string(baud) + " 设置失败，未扫描";
}

std::string text_id(int id)
{
    return "ID " + std::to_string(id) + "：";
}

std::string text_ids(int from, int to)
{
    return "ID " + std::to_string(from) + " → " + std::to_string(to) + "：";
}

std::string text_batch_progress(std::size_t at, std::size_t of, int line, int from, int to)
{
    return "[" + std::to_string(at) + "/" + std::to_string(of) + "] " +
           text_at_line(line, "ID " + std::to_string(from) + " → " + std::to_string(to)) + " ...";
}

std::string text_scan_progress(std::int32_t baud, int id, std::size_t devices,
                               std::size_t seconds_left)
{
    char text[96];
    std::snprintf(text, sizeof text, "波特率 %-6d 地址 %3d  已找到 %zu  剩余约 %zu s   ",
                  static_cast<int>(baud), id, devices, seconds_left);
    return text;
}

std::string text_at_line(int line, const std::string& what)
{
    return "第" + std::to_string(line) + "行：" + what;
}

std::string text_new_id_twice(int new_id, int other_line)
{
    return "新ID " + std::to_string(new_id) + " 已在第" + std::to_string(other_line) + "行使用";
}

std::string text_old_id_twice(int old_id, int other_line)
{
    return "原ID " + std::to_string(old_id) + " 已在第" + std::to_string(other_line) + "行更改";
}

std::string text_new_id_is_old(int new_id, int other_line)
{
    return "新ID " + std::to_string(new_id) + " 是第" + std::to_string(other_line) + "行的原ID";
}

std::string text_unreadable(const std::string& reason)
{
    return "无法读取（" + reason + "）";
}

std::string usage_unknown_command(const std::string& command)
{
    return "未知命令：" + command;
}

std::string usage_unknown_option(const std::string& option)
{
    return "未知选项：" + option;
}

std::string usage_not_for(const std::string& command, const std::string& option)
{
    return "命令 " + command + " 不接受选项 " + option;
}

std::string usage_bad_value(const std::string& option, const std::string& value)
{
    return "选项 " + option + " 的值无效：" + value;
}

std::string usage_needs(const std::string& command, const std::string& what)
{
    return command + " 需要 " + what;
}

std::string usage_see(const std::string& help_command)
{
    return "用法见 " + help_command;
}

} // namespace qrv
