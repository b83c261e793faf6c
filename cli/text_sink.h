// Where qrv-idctl's lines go: standard output or error as a C stream, or a
// Windows console, which takes UTF-16.
#pragma once

#include <cstdio>
#include <string_view>

namespace qrv::cli {

class TextSink {
public:
    virtual ~TextSink() = default;
    // UTF-8 text; false when it could not be written whole (a closed pipe, a
    // full disk).
    virtual bool write(std::string_view text) = 0;
};

// A C stream, flushed at each write, so that a line once told stays told.
class FileOut final : public TextSink {
public:
    explicit FileOut(std::FILE* file) : m_file(file) {}
    bool write(std::string_view text) override
    {
        return std::fwrite(text.data(), 1, text.size(), m_file) == text.size() &&
               std::fflush(m_file) == 0;
    }

private:
    std::FILE* m_file;
};

} // namespace qrv::cli
