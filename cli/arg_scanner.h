// The options scanner of the project's command lines (qrv-idctl and the
// virtual device): "--name=value", "--name value", a flag "--name", or a
// plain word. Plain C++; it owns a copy of the arguments.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace qrv::cli {

struct Arg {
    std::string name;                        // "--port", or the word itself
    std::optional<std::string> inline_value; // what followed '=' in "--name=value"
    bool option() const { return name.size() > 1 && name[0] == '-'; }
};

class ArgScanner {
public:
    explicit ArgScanner(std::vector<std::string> args) : m_args(std::move(args)) {}

    // The next argument; nothing at the end.
    std::optional<Arg> next();
    // The value of the option just taken: its "=value", else the argument
    // after it; nothing when there is none.
    std::optional<std::string> value(const Arg& arg);

private:
    std::vector<std::string> m_args;
    std::size_t m_next = 0;
};

} // namespace qrv::cli
