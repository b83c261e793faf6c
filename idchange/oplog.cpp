#include "oplog.h"

#include "day_log_file.h"
#include "frame.h"

namespace qrv {

std::string entry_start(const std::string& old_text, const std::string& new_text,
                        const std::string& date_time_text)
{
    return std::string(star_line) + crlf + log_start_prefix + old_text + log_new_id_prefix +
           new_text + log_start_suffix + crlf + log_time_prefix + date_time_text + crlf;
}

std::string entry_sent(std::span<const std::uint8_t> request)
{
    return log_sent_prefix + hex_bytes(request) + crlf;
}

std::string entry_reply(std::span<const std::uint8_t> reply)
{
    return log_reply_prefix + hex_bytes(reply) + crlf;
}

std::string entry_close()
{
    return std::string(star_line) + crlf + crlf;
}

std::string tool_file(const std::string& folder, std::string_view name)
{
    return folder + path_separator() + std::string(name);
}

std::string day_log_path(const std::string& folder, const std::string& log_date)
{
    return tool_file(folder, log_date + ".txt");
}

} // namespace qrv
