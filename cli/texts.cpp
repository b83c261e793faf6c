#include "texts.h"

#include "vocabulary.h"

#include <cstdio>
#include <initializer_list>
#include <string_view>
#include <utility>

namespace qrv::cli {

namespace {

// The parts one after the other. (Chains of + that begin with a literal
// make GCC 12 warn falsely of overlapping copies.)
std::string join(std::initializer_list<std::string_view> parts)
{
    std::string text;
    for (const std::string_view part : parts)
        text += part;
    return text;
}

template <typename Integer> std::string number(Integer n)
{
    return std::to_string(n);
}

} // namespace

std::string text_log_not_written(const std::string& path, const std::string& reason)
{
    return join({msg_log_write_failed, "：", path, "（", reason, "）"});
}

std::string text_batch_done(std::size_t done, std::size_t total)
{
    return join({"已执行 ", number(done), " 行，共 ", number(total), " 行"});
}

std::string text_port_failure(const std::string& device, const std::string& reason)
{
    return join({"串口 ", text_port_name(device), reason.empty() ? "" : "：", reason});
}

std::string text_noise_dropped(std::size_t bytes)
{
    return join({"线路上不属于任何应答的 ", number(bytes), " 个字节已丢弃"});
}

std::string text_more_errors(std::size_t more)
{
    return join({"另有 ", number(more), " 处错误"});
}

std::string text_identity(const IdentifyReply& identity)
{
    if (identity.kind == ReadReply::Kind::value)
        return join({"厂商 ", identity.identity.vendor, "，产品 ", identity.identity.product,
                     "，版本 ", identity.identity.revision});
    if (identity.malformed)
        return text_identify_malformed;
    if (identity.kind == ReadReply::Kind::exception)
        return join({"无标识：", exception_text(identity.code)});
    return join({"标识：", reply_text({identity.kind, 0, identity.code, identity.from})});
}

std::string text_assign_waiting(int from, int next_id, std::size_t devices)
{
    return join({"等待接入ID ", number(from), " 的新设备，下一个ID ", number(next_id), "，已接入 ",
                 number(devices), " 台（Ctrl-C 结束）"});
}

std::string text_assign_changing(int from, int to, std::size_t device)
{
    return join({"第 ", number(device), " 台已接入，正在更改：ID ", number(from), " → ", number(to),
                 " ..."});
}

std::string text_several(int from, const ReadReply& reply)
{
    return join({text_several_at(from, reply), "，请一次只接一台，", text_change_not_sent});
}

std::string text_skipped(int id, const ReadReply& reply)
{
    return join({"新ID ", number(id), " 已被占用（", reply_text(reply), "），跳过"});
}

std::string text_device_number(std::size_t device)
{
    return join({"第 ", number(device), " 台："});
}

std::string text_assign_done(std::size_t numbered, std::size_t devices)
{
    return join({"已编号 ", number(numbered), " 台，共接入 ", number(devices), " 台"});
}

std::string text_unrecognised(const ReadReply& reply)
{
    return join({"有应答，但无法识别：", reply_text(reply)});
}

std::string text_found(std::size_t devices)
{
    return join({"找到 ", number(devices), " 台设备"});
}

std::string text_speed_refused(std::int32_t baud)
{
    return join({"波特率 ", number(baud), " 设置失败，未扫描"});
}

const char* text_result_word(const std::string& result)
{
    static constexpr std::pair<std::string_view, const char*> words[] = {
        {"confirmed", "已确认"},       {"moved", "已更改并确认"},
        {"unverified", "未读回确认"},  {"unconfirmed", "未确认"},
        {"already_done", "已完成"},    {"taken", "新ID已被占用"},
        {"no_device", "原ID处无设备"}, {"several_devices", "原ID处不止一台"},
        {"refused", "设备拒绝"},       {"mismatch", "应答不符"},
        {"no_reply", "无应答"},        {"not_sent", "命令未能发送"},
        {"port_lost", "串口已断开"},   {"not_run", text_not_run},
    };
    for (const auto& [word, text] : words)
        if (word == result)
            return text;
    return result.c_str();
}

std::string text_id(int id)
{
    return join({"ID ", number(id), "："});
}

std::string text_ids(int from, int to)
{
    return join({"ID ", number(from), " → ", number(to), "："});
}

std::string text_batch_progress(std::size_t at, std::size_t of, int line, int from, int to)
{
    const std::string change = join({"ID ", number(from), " → ", number(to)});
    return join({"[", number(at), "/", number(of), "] ", text_at_line(line, change), " ..."});
}

std::string text_scan_progress(std::int32_t baud, int id, std::size_t devices,
                               std::size_t seconds_left)
{
    char text[96];
    std::snprintf(text, sizeof text, "波特率 %-6d 地址 %3d  已找到 %zu  剩余约 %zu 秒   ",
                  static_cast<int>(baud), id, devices, seconds_left);
    return text;
}

std::string text_system_port(const SystemPort& port)
{
    if (port.link_dead)
        return join({port.link, " → ", port.device, "：链接指向的设备不存在"});
    std::string text = port.device;
    bool first = true;
    const auto add = [&](std::string_view part) {
        text.append(std::exchange(first, false) ? "：" : "，").append(part);
    };
    if (!port.name.empty())
        add(port.name);
    if (!port.usb_id.empty())
        add(join({"USB ", port.usb_id, port.serial.empty() ? "" : "，序列号 ", port.serial}));
    if (!port.by_id.empty())
        add(port.by_id);
    if (port.number > 0)
        add(join({"窗口串口号 ", number(port.number), port.link.empty() ? "" : "（", port.link,
                  port.link.empty() ? "" : "）"}));
    return text;
}

std::string text_ports_found(std::size_t ports)
{
    return join({"找到 ", number(ports), " 个串口"});
}

std::string text_at_line(int line, const std::string& what)
{
    return join({"第", number(line), "行：", what});
}

std::string text_new_id_twice(int new_id, int other_line)
{
    return join({"新ID ", number(new_id), " 已在第", number(other_line), "行使用"});
}

std::string text_old_id_twice(int old_id, int other_line)
{
    return join({"原ID ", number(old_id), " 已在第", number(other_line), "行更改"});
}

std::string text_new_id_is_old(int new_id, int other_line)
{
    return join({"新ID ", number(new_id), " 是第", number(other_line), "行的原ID"});
}

std::string text_unreadable(const std::string& reason)
{
    return join({"无法读取（", reason, "）"});
}

std::string usage_unknown_command(const std::string& command)
{
    return join({"未知命令：", command});
}

std::string usage_unknown_option(const std::string& option)
{
    return join({"未知选项：", option});
}

std::string usage_extra(const std::string& command, const std::string& extra, const char* word)
{
    if (word)
        return join(
            {"多余的参数：", extra, "（", command, " 只接受一个 ", word, "，请删去其余的）"});
    return join(
        {"多余的参数：", extra, "（值须紧跟在它的选项之后，如 --id 17；请删去或补上选项）"});
}

std::string usage_not_for(const std::string& command, const std::string& option)
{
    return join({"命令 ", command, " 不接受选项 ", option});
}

std::string usage_bad_value(const std::string& option, const std::string& value)
{
    return join({"选项 ", option, " 的值无效：", value});
}

std::string usage_twice(const std::string& option)
{
    return join({"选项 ", option, " 重复"});
}

std::string usage_needs(const std::string& command, const std::string& what)
{
    return join({command, " 需要 ", what});
}

std::string text_exit_statuses(const std::string& stops)
{
    return join(
        {"退出码：0 完成并确认（扫描：找到设备）；1 设备未更改、拒绝更改或未确认（扫描：未找到）；"
         "2 用法或文件错误；3 串口无法打开、设置或已断开；4 新ID已被占用；5 日志文件无法写入；"
         "6 结果无法输出；130 ",
         stops, "\n"});
}

std::string text_tool_folder(const std::string& holds, const std::string& folder)
{
    return join({"工具文件夹（", holds, "）：", folder});
}

std::string usage_see(const std::string& help_command)
{
    return join({"用法见 ", help_command});
}

} // namespace qrv::cli
