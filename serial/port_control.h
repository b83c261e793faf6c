// The port button: opens the selected port at the selected speed, or closes
// the open one. The lamp is the one record of which it is.
#pragma once

#include "serial_api.h"
#include "window_state.h"

#include <functional>

namespace qrv {

inline constexpr const char* caption_open_port = "打开串口";
inline constexpr const char* caption_close_port = "关闭串口";
inline constexpr const char* msg_open_failed = "串口打开失败，请确认串口号是否正确";
inline constexpr const char* msg_baud_failed = "波特率设置失败，请确认串口号是否正确";
inline constexpr const char* msg_settings_failed = "参数文件保存失败，请检查程序目录是否可写";
inline constexpr std::int32_t lamp_closed = 0;
inline constexpr std::int32_t lamp_open = 255;

// save_port_settings stores both list selections; false when the file could
// not be written, which is reported but leaves the port open and usable.
void port_button_click(WindowState& window, SerialApi& serial, MessageSink& messages,
                       WindowVars& vars, const std::function<bool()>& save_port_settings);

} // namespace qrv
