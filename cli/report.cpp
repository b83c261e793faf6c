#include "report.h"

namespace qrv::cli {

namespace {

// The length of the UTF-8 character at text[i], 0 when the bytes there are
// none: no overlong form, no surrogate, nothing beyond U+10FFFF.
std::size_t utf8_length(std::string_view text, std::size_t i)
{
    const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(text[k]); };
    const unsigned char lead = byte(i);
    const std::size_t n = lead < 0x80   ? 1
                          : lead < 0xC2 ? 0
                          : lead < 0xE0 ? 2
                          : lead < 0xF0 ? 3
                          : lead < 0xF5 ? 4
                                        : 0;
    if (n == 0 || i + n > text.size())
        return 0;
    for (std::size_t k = 1; k < n; ++k)
        if ((byte(i + k) & 0xC0) != 0x80)
            return 0;
    // Where the lead alone does not rule out a bad form, the second byte does.
    const unsigned char second = n > 1 ? byte(i + 1) : 0x80;
    const bool bad = (lead == 0xE0 && second < 0xA0) || (lead == 0xED && second > 0x9F) ||
                     (lead == 0xF0 && second < 0x90) || (lead == 0xF4 && second > 0x8F);
    return bad ? 0 : n;
}

} // namespace

std::string json_string(std::string_view text)
{
    static constexpr char hex[] = "0123456789ABCDEF";
    std::string out = "\"";
    for (std::size_t i = 0; i < text.size();) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        const std::size_t n = utf8_length(text, i);
        if (c == '"' || c == '\\')
            out += {'\\', static_cast<char>(c)};
        else if (c == '\n')
            out += "\\n";
        else if (n == 0) // the text "\xC7": a JSON string holds no bytes, only characters
            out += std::string("\\\\x") + hex[c >> 4] + hex[c & 15];
        else if (c < 0x20)
            out += std::string("\\u00") + hex[c >> 4] + hex[c & 15];
        else
            out.append(text.substr(i, n));
        i += n ? n : 1;
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
    if (reply.stray > 0)
        add("stray", static_cast<int>(reply.stray));
    return *this;
}

bool print(const Result& result, bool json, TextSink& out, TextSink& err)
{
    if (json) {
        JsonFields object;
        object.add_json("command", result.command.empty() ? "null" : json_string(result.command));
        object.add("result", result.result);
        object.add_json("exit", result.exit ? std::to_string(*result.exit) : "null");
        object.add_json("baud", result.baud ? std::to_string(*result.baud) : "null");
        object.add_all(result.fields).add("text", result.text);
        return out.write(object.object() + "\n");
    }
    if (result.text.empty())
        return true;
    return result.error ? err.write("qrv-idctl: " + result.text + "\n")
                        : out.write(result.text + "\n");
}

} // namespace qrv::cli
