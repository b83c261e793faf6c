// The tool's words and numbers: the IDs, ports and speeds it works with, and
// what the core says: every text of the window, of the log, and of the
// results of reads and checked changes. The windows, qrv-idctl and the
// virtual device take them from here; qrv-idctl's own texts are in cli/.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace qrv {

struct ReadReply;

// Slave addresses a device can take: 1..max_id.
inline constexpr int max_id = 247;
// The window's port list: ports 1..port_count.
inline constexpr int port_count = 24;
// The window's speed list, in its order. parameter.txt stores positions in
// it: a new speed goes at the end.
inline constexpr std::array<std::int32_t, 6> line_speeds = {9600,  19200,  38400,
                                                            57600, 115200, 230400};
// The same speeds in the order a scan tries them: the most common first.
std::vector<std::int32_t> scan_speeds();
bool is_line_speed(std::int64_t baud);
// The speeds as a list in a text: "9600, 19200, ... or 230400".
std::string speeds_text(const std::string& separator, const std::string& before_last);

// The window.
inline constexpr char app_title[] = "QRV ID设置软件";
inline constexpr char caption_open_port[] = "打开串口";
inline constexpr char caption_close_port[] = "关闭串口";
inline constexpr char label_port[] = "串口号";
inline constexpr char label_baud[] = "波特率";
inline constexpr char label_data_bits[] = "数据位：8";
inline constexpr char label_stop_bits[] = "停止位：1";
inline constexpr char label_parity[] = "校验位：无";
inline constexpr char label_old_id[] = "原设备ID";
inline constexpr char label_new_id[] = "新设备ID";
inline constexpr char caption_change[] = "更改ID";
inline constexpr char name_log_box[] = "操作日志";
// The lamp's name for a screen reader says the port's state.
inline constexpr char name_lamp_closed[] = "串口状态：关闭";
inline constexpr char name_lamp_open[] = "串口状态：打开";

// The window's messages.
inline constexpr char msg_open_port[] = "请打开串口";
inline constexpr char msg_old_id[] = "原ID号应为1~247的数字，请重新输入";
inline constexpr char msg_new_id[] = "新ID号应为1~247的数字，请重新输入";
inline constexpr char msg_open_failed[] = "串口打开失败，请确认串口号是否正确";
inline constexpr char msg_baud_failed[] = "波特率设置失败，请确认串口号是否正确";
inline constexpr char msg_settings_failed[] = "参数文件保存失败，请检查程序目录是否可写";
inline constexpr char msg_log_write_failed[] = "日志文件写入失败，请检查程序目录是否可写";
// The adapter was pulled out while the port stood open: the port is closed.
inline constexpr char msg_port_gone[] = "串口已断开";
inline constexpr char msg_window_failed[] = "窗口无法创建，程序将退出";

// A port that could not be opened (status: why, as the serial library said
// it) or whose speed could not be set (sio_bad_baud): the device named as it
// was tried, a link with where it points; the system's words where no text
// here says why.
std::string text_open_failed(int status, const std::string& device, const std::string& reason);
// A device's path, and where it leads when it is a link: "ports/COM3 → /dev/ttyUSB0".
std::string text_port_name(const std::string& device);
inline constexpr char hint_list_ports[] = "可运行 qrv-idctl ports 查看本机串口";

// The entry of an attempt in the log.
inline constexpr char crlf[] = "\r\n";
inline constexpr char star_line[] = "************************************";
inline constexpr char log_start_prefix[] = "开始设置，原ID= ";
inline constexpr char log_new_id_prefix[] = ";   新ID= ";
inline constexpr char log_start_suffix[] = "   ";
inline constexpr char log_time_prefix[] = "设置时间：";
inline constexpr char log_sent_prefix[] = "发送命令：";
inline constexpr char log_reply_prefix[] = "响应数据：";
inline constexpr char text_success[] = "Modbus 新ID 设置成功  ";
inline constexpr char text_mismatch[] = "数据校验错误，设置失败，请重新设置";
inline constexpr char text_no_reply[] = "设置无响应，请重新设置";
// The line failed: these stand in the entry where the no-reply text would,
// and are the window's messages too.
inline constexpr char text_not_sent[] = "命令未能发送，请检查串口";
inline constexpr char text_port_gone_unsent[] = "串口已断开，命令未能发送，请检查串口";
inline constexpr char text_port_lost[] = "串口已断开，未收到应答（设备可能已更改ID），请检查串口";
// A device that refused the change: this, then its exception code and name.
inline constexpr char text_refused[] = "设备拒绝更改：";

// What a read of register 10 brought, as a technician reads it.
std::string reply_text(const ReadReply& reply);
// A Modbus exception code with its name: "异常码 03（非法数据值）".
std::string exception_text(std::uint8_t code);

// The outcome of a change from the command line: what the read-back at the
// new ID found, and the line that tells it, which ends its record.
std::string readback_confirmed(int new_id);
inline constexpr char readback_not_asked[] = "未读回确认";
inline constexpr char readback_stopped[] = "已中断，未读回确认";
// What the last read found, and how long it asked (< 0: not said).
std::string readback_unconfirmed(int new_id, const ReadReply& after, std::int64_t asked_ms);
inline constexpr char text_changed[] = "Modbus 新ID 设置成功，";
inline constexpr char text_changed_but[] = "设备应答了更改，但";
inline constexpr char text_moved[] = "设备已更改ID，";
// Why a device that moved was not heard doing so.
inline constexpr char text_echo_missing[] = "未收到更改的应答";
inline constexpr char text_echo_late[] = "更改的应答晚于等待时间";
inline constexpr char text_echo_late_hint[] = "更改的应答晚于等待时间，可用 --timeout 加长等待";
inline constexpr char text_echo_from_old[] = "更改的应答来自原地址";
inline constexpr char text_echo_exception[] = "更改的应答为"; // then the exception
// Before the change: what was found at the old and the new ID.
inline constexpr char text_change_not_sent[] = "未发送更改命令";
std::string text_taken(int new_id, const ReadReply& before);
std::string text_no_device(int old_id);
// Nothing at the old ID, the device found at the new one: a change made before.
inline constexpr char text_already_done[] = "已完成（设备已在新ID）";
std::string text_several_at(int id, const ReadReply& reply);
inline constexpr char text_stopped[] = "已中断，未发送更改命令";
} // namespace qrv
