// What the tests check against, written out: the window's first change on
// the wire, its entries in the log box, and the day log files that keep them.
#pragma once

#include "day_log_file.h"

#include <cstdint>
#include <string>
#include <vector>

namespace qrv::test {

using Bytes = std::vector<std::uint8_t>;
using Strings = std::vector<std::string>;

// "11 06 00 0A" -> {0x11, 0x06, 0x00, 0x0A}; "11060 00A" the same.
inline Bytes from_hex(const std::string& text)
{
    Bytes bytes;
    for (std::size_t i = 0; i + 1 < text.size(); i += text[i + 2] == ' ' ? 3 : 2)
        bytes.push_back(static_cast<std::uint8_t>(std::stoi(text.substr(i, 2), nullptr, 16)));
    return bytes;
}

// The window's messages where the exact text is the point, as the
// technician reads them.
namespace said {
inline const std::string open_port = "请打开串口";
inline const std::string old_id = "原ID号应为1~247的数字，请重新输入";
inline const std::string new_id = "新ID号应为1~247的数字，请重新输入";
inline const std::string no_reply = "设置无响应，请重新设置";
inline const std::string port_gone = "串口已断开";
} // namespace said

// The window's first change, 17 -> 1, and the echo from the device's new address.
inline const Bytes request_17_to_1{0x11, 0x06, 0x00, 0x0A, 0x00, 0x01, 0x6A, 0x98};
inline const Bytes echo_from_1{0x01, 0x06, 0x00, 0x0A, 0x00, 0x01, 0x68, 0x08};

// The log box after the attempt 17 -> 1 at the fakes' time: outcome is what
// follows the sent line, up to the closing star line.
inline std::string entry_17_to_1(const std::string& outcome)
{
    return "************************************\r\n开始设置，原ID= 17;   新ID= 1   \r\n"
           "设置时间：2026/12/6 19:05:01\r\n发送命令：11 6 0 A 0 1 6A 98\r\n" +
           outcome + "************************************\r\n\r\n";
}
inline const std::string success_entry =
    entry_17_to_1("响应数据：1 6 0 A 0 1 68 8\r\nModbus 新ID 设置成功  ");
inline const std::string no_reply_entry = entry_17_to_1(said::no_reply);

// A day log file that holds these entries, as a new file gets them here.
inline std::string day_log_of(const Strings& entries)
{
    std::string file;
    for (const std::string& entry : entries)
        file += record_bytes(file, entry);
    return file;
}

// A new day log file with one entry.
inline std::string record(const std::string& entry)
{
    return day_log_of({entry});
}

// Text as the records of a day log file are written in it.
inline std::string as_in_day_log(const std::string& file, const std::string& text)
{
    const std::string quoted = record_bytes(file, text);
    const std::size_t start = quoted.find('"') + 1; // after a byte order mark, if any
    return quoted.substr(start, quoted.size() - 3 - start);
}

} // namespace qrv::test
