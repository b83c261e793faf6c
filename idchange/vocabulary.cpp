#include "vocabulary.h"

#include "day_log_file.h"
#include "frame.h"
#include "port_access.h"
#include "serial_api.h"

#include <algorithm>
#include <filesystem>

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

std::string speeds_text(const std::string& separator, const std::string& before_last)
{
    std::string text;
    for (std::size_t i = 0; i < line_speeds.size(); ++i) {
        if (i > 0)
            text += i + 1 == line_speeds.size() ? before_last : separator;
        text += std::to_string(line_speeds[i]);
    }
    return text;
}

std::string text_port_name(const std::string& device)
{
    std::error_code ec;
    const std::filesystem::path target = std::filesystem::read_symlink(file_path(device), ec);
    return ec ? device : device + " → " + target.string();
}

std::string text_open_failed(int status, const std::string& device, const std::string& reason)
{
    const std::string name = text_port_name(device);
    const std::string group = serial_port_group();
    switch (status) {
    case sio_no_device:
        return "串口不存在：" + name + "，" + hint_list_ports;
    case sio_port_busy:
        return "串口被其他程序占用：" + name + "，请先关闭占用它的程序";
    case sio_no_access:
        if (group.empty())
            return "没有权限打开串口：" + name;
        return "没有权限打开串口 " + name + "：请将用户加入 " + group + " 组（sudo adduser $USER " +
               group + "）后重新登录";
    case sio_not_a_port:
        return name + " 不是串口，请确认串口号是否正确";
    default:
        break;
    }
    std::string text = status == sio_bad_baud ? msg_baud_failed : msg_open_failed;
    text += "：" + name;
    return reason.empty() ? text : text + "（" + reason + "）";
}

std::string reply_text(const ReadReply& reply)
{
    std::string text;
    switch (reply.kind) {
    case ReadReply::Kind::value:
        text = "寄存器10 = " + std::to_string(reply.value);
        break;
    case ReadReply::Kind::exception:
        text = "异常应答，" + exception_text(reply.code);
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
    case ReadReply::Kind::not_sent:
        text = "命令未能发送";
        break;
    case ReadReply::Kind::port_lost:
        text = msg_port_gone;
        break;
    }
    if (reply.late)
        text += "（应答晚于等待时间）";
    if (reply.stray > 0)
        text += "（其后 " + std::to_string(reply.stray) + " 个多余字节已丢弃）";
    return text;
}

std::string exception_text(std::uint8_t code)
{
    static const char* const names[] = {"",           "非法功能",       "非法数据地址",
                                        "非法数据值", "从站设备故障",   "确认",
                                        "从站设备忙", "否定确认",       "存储奇偶性差错",
                                        "",           "网关路径不可用", "网关目标设备无响应"};
    std::string number = code < 16 ? "0" : "";
    number += hex_byte(code);
    return code < std::size(names) && *names[code] ? "异常码 " + number + "（" + names[code] + "）"
                                                   : "异常码 " + number;
}

std::string readback_confirmed(int new_id)
{
    return "已在ID " + std::to_string(new_id) + " 读回确认";
}

std::string readback_unconfirmed(int new_id, const ReadReply& after, std::int64_t asked_ms)
{
    std::string text = "在ID " + std::to_string(new_id) + " 读回";
    if (asked_ms >= 0) {
        // Tenths of a second, rounded.
        const std::int64_t tenths = (asked_ms + 50) / 100;
        text.append(" ").append(std::to_string(tenths / 10)).append(".");
        text.append(std::to_string(tenths % 10)).append(" 秒");
    }
    return text + "：" + reply_text(after) + "，新ID未确认";
}

std::string text_taken(int new_id, const ReadReply& before)
{
    return "新ID " + std::to_string(new_id) + " 已被占用（" + reply_text(before) + "），" +
           text_change_not_sent;
}

std::string text_no_device(int old_id)
{
    return "ID " + std::to_string(old_id) + " 处无设备应答，" + text_change_not_sent;
}

std::string text_several_at(int id, const ReadReply& reply)
{
    return "ID " + std::to_string(id) + " 处不止一台设备应答（" + reply_text(reply) + "）";
}

} // namespace qrv
