#include "report.h"

namespace qrv::cli {

std::string json_string(std::string_view text)
{
    static constexpr char hex[] = "0123456789abcdef";
    std::string out = "\"";
    for (const unsigned char c : text) {
        if (c == '"' || c == '\\')
            out += {'\\', static_cast<char>(c)};
        else if (c < 0x20)
            out += std::string("\\u00") + hex[c >> 4] + hex[c & 15];
        else
            out += static_cast<char>(c);
    }
    return out + "\"";
}

JsonFields& JsonFields::add_json(std::string_view key, std::string_view json)
{
    if (!m_members.empty())
        m_members += ',';
    m_members += json_string(key);
    m_members += ':';
    m_members += json;
    return *this;
}

JsonFields& JsonFields::add_all(const JsonFields& more)
{
    if (!m_members.empty() && !more.m_members.empty())
        m_members += ',';
    m_members += more.m_members;
    return *this;
}

JsonFields& JsonFields::add(std::string_view key, std::string_view text)
{
    return add_json(key, json_string(text));
}

JsonFields& JsonFields::add(std::string_view key, long long number)
{
    return add_json(key, std::to_string(number));
}

JsonFields& JsonFields::add_bool(std::string_view key, bool value)
{
    return add_json(key, value ? "true" : "false");
}

std::string reply_object(const ReadReply& reply)
{
    return JsonFields().add("result", to_string(reply.kind)).add_reply_details(reply).object();
}

JsonFields& JsonFields::add_reply_details(const ReadReply& reply)
{
    if (reply.kind == ReadReply::Kind::value)
        add("value", reply.value);
    if (reply.kind == ReadReply::Kind::exception)
        add("code", reply.code);
    if (reply.kind == ReadReply::Kind::other_address)
        add("from", reply.from);
    if (reply.late)
        add_bool("late", true);
    return *this;
}

void print(const Result& result, bool json, std::FILE* out, std::FILE* err)
{
    if (json) {
        JsonFields object;
        object.add_json("command", result.command.empty() ? "null" : json_string(result.command));
        object.add("result", result.result).add("exit", result.exit);
        object.add_json("baud", result.baud ? std::to_string(*result.baud) : "null");
        object.add_all(result.fields).add("text", result.text);
        std::fprintf(out, "%s\n", object.object().c_str());
        std::fflush(out);
    } else if (!result.text.empty()) {
        std::FILE* to = result.error ? err : out;
        std::fprintf(to, "%s%s\n", result.error ? "qrv-idctl: " : "", result.text.c_str());
        std::fflush(to);
    }
}

} // namespace qrv::cli
