#include "arg_scanner.h"

namespace qrv::cli {

std::optional<Arg> ArgScanner::next()
{
    if (m_next >= m_args.size())
        return std::nullopt;
    Arg arg{m_args[m_next++], std::nullopt};
    if (const auto eq = arg.name.find('='); arg.name.starts_with("--") && eq != std::string::npos) {
        arg.inline_value = arg.name.substr(eq + 1);
        arg.name.resize(eq);
    }
    return arg;
}

std::optional<std::string> ArgScanner::value(const Arg& arg)
{
    if (arg.inline_value)
        return arg.inline_value;
    if (m_next >= m_args.size())
        return std::nullopt;
    return m_args[m_next++];
}

} // namespace qrv::cli
