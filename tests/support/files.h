// Throw-away folders and whole-file reads and writes, for tests on any platform.
#pragma once

#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>

namespace qrv::test {

// A fresh folder, removed with everything in it on destruction.
class TempDir {
public:
    TempDir()
    {
        namespace fs = std::filesystem;
        std::random_device random;
        while (!fs::create_directory(
            m_path =
                (fs::temp_directory_path() / ("qrv-test-" + std::to_string(random()))).string())) {
        }
    }
    ~TempDir()
    {
        namespace fs = std::filesystem;
        std::error_code ec;
        // Tests may leave folders without write permission behind.
        for (auto& e : fs::recursive_directory_iterator(m_path, ec))
            fs::permissions(e.path(), fs::perms::owner_all, fs::perm_options::add, ec);
        fs::permissions(m_path, fs::perms::owner_all, fs::perm_options::add, ec);
        fs::remove_all(m_path, ec);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::string& path() const { return m_path; }
    std::string file(const std::string& name) const { return m_path + "/" + name; }

private:
    std::string m_path;
};

inline std::string read_file(const std::filesystem::path& path)
{
    std::ostringstream s;
    s << std::ifstream(path, std::ios::binary).rdbuf();
    return s.str();
}

inline void write_file(const std::filesystem::path& path, const std::string& bytes)
{
    std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

} // namespace qrv::test
