// Windows tests under Wine: the Linux virtual device, which Wine starts as it
// starts any program, on a COM link of the prefix, and shell commands beside.
#pragma once

#include "files.h"

#include <windows.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace qrv::test {

using namespace std::chrono_literals;

const std::string wine_prefix = std::getenv("WINEPREFIX") ? std::getenv("WINEPREFIX") : "";

// qrv-devsim on COM<com>. Wine gives no handle to a Unix program it starts: the device's
// pid, its log and the shell's word that it has ended go to one file on the prefix's C:.
class Devsim {
public:
    explicit Devsim(int com, std::vector<std::string> options = {"--id", "17"})
        : m_log("devsim-com" + std::to_string(com) + ".log"),
          m_unix_log(wine_prefix + "/drive_c/" + m_log)
    {
        std::filesystem::remove("C:\\" + m_log);
        options.insert(
            options.begin(),
            {R"(\"$@\" >>\"$0\" 2>&1 </dev/null & echo \"pid $!\" >>\"$0\"; wait; echo ended >>\"$0\")",
             m_unix_log, QRV_DEVSIM_PATH, "--link",
             wine_prefix + "/dosdevices/com" + std::to_string(com)});
        shell(options);
        m_pid = wait_for("pid ");
        if (wait_for(" -> ").empty()) // the link is there
            throw std::runtime_error("qrv-devsim did not come up, see " + m_unix_log);
    }
    ~Devsim()
    {
        if (!m_killed)
            signal("TERM");
        wait_for("\nended"); // and with it the pty's master closed
    }
    void signal(const std::string& sig)
    {
        m_killed = m_killed || sig == "KILL";
        shell({R"(kill -s \"$1\" \"$2\" && echo \"sent $1\" >>\"$0\")", m_unix_log, sig, m_pid});
        wait_for("sent " + sig);
    }

    // The device's log so far.
    std::string output() const { return read_file("C:\\" + m_log); }

    // sh -c script args...: Wine splits the line as Windows does, so the scripts' own
    // quotes are written \".
    static void shell(const std::vector<std::string>& args)
    {
        std::wstring line = L"sh -c";
        for (const auto& a : args)
            line += L" \"" + std::wstring(a.begin(), a.end()) + L'"';
        STARTUPINFOW si{};
        si.cb = sizeof si;
        PROCESS_INFORMATION pi{};
        if (CreateProcessW(L"\\\\?\\unix\\bin\\sh", line.data(), nullptr, nullptr, FALSE, 0,
                           nullptr, nullptr, &si, &pi)) {
            CloseHandle(pi.hThread);
            CloseHandle(pi.hProcess);
        }
    }
    // The rest of the first line in the log that holds what; empty after 10 s without.
    std::string wait_for(const std::string& what)
    {
        for (int i = 0; i < 1000; ++i, std::this_thread::sleep_for(10ms)) {
            const std::string text = test::read_file("C:\\" + m_log);
            if (const auto at = text.find(what); at != std::string::npos)
                return text.substr(at + what.size(), text.find('\n', at) - at - what.size());
        }
        return {};
    }

private:
    std::string m_log;
    std::string m_unix_log;
    std::string m_pid;
    bool m_killed = false;
};

} // namespace qrv::test
