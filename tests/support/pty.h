// Pseudo-terminals standing in for serial cables, the virtual device run as
// a child process on one of them, and throw-away folders.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <sys/types.h>
#include <vector>

namespace qrv::test {

using Bytes = std::vector<std::uint8_t>;

// A pseudo-terminal pair in raw mode. The test holds the master side; the
// code under test opens the slave through link() or slave_path().
class Pty {
public:
    Pty();
    ~Pty();
    Pty(const Pty&) = delete;
    Pty& operator=(const Pty&) = delete;

    const std::string& slave_path() const { return m_slave_path; }
    // Makes link_path a symbolic link to the slave, replacing what was there.
    void link(const std::string& link_path);
    void write(const Bytes& bytes);
    // Up to count bytes, waiting at most timeout; a zero timeout takes what is there.
    Bytes read(std::size_t count, std::chrono::milliseconds timeout);
    // The line goes dead for the slave's opener.
    void close_master();

private:
    int m_master = -1;
    int m_slave = -1; // held open so the slave keeps its settings between openers
    std::string m_slave_path;
    std::string m_link;
};

// qrv-devsim running as a child process, with its link at link_path.
class Devsim {
public:
    Devsim(const std::string& link_path, const std::vector<std::string>& options = {});
    ~Devsim();
    Devsim(const Devsim&) = delete;
    Devsim& operator=(const Devsim&) = delete;

    // Everything the device printed so far.
    std::string output();
    // Stops the device (SIGTERM) and waits for it; returns its wait status.
    int stop();

private:
    pid_t m_pid = -1;
    int m_out = -1;
    std::string m_text;
};

// A fresh temporary folder, removed with everything in it on destruction.
class TempDir {
public:
    TempDir();
    ~TempDir();
    const std::string& path() const { return m_path; }
    std::string file(const std::string& name) const { return m_path + "/" + name; }

private:
    std::string m_path;
};

std::string read_file(const std::string& path);
void write_file(const std::string& path, const std::string& bytes);

// Runs check in a child process that file permissions bind (root drops to
// nobody there); true when the check returned true.
bool as_unprivileged(const std::function<bool()>& check);

} // namespace qrv::test
