// The window on a pseudo-terminal with a scripted device on the other end,
// for tests that run whole attempts with the real wait. Header only: it
// needs the window (qrv_app), which not every test program links.
#pragma once

#include "fakes.h"
#include "form1.h"
#include "pty.h"
#include "qt_clock.h"

#include <QElapsedTimer>
#include <QPushButton>
#include <QTimer>
#include <atomic>
#include <chrono>
#include <functional>
#include <gtest/gtest.h>
#include <memory>
#include <mutex>
#include <thread>

namespace qrv::test {

// The real wait, with the date fixed so that file names and lines are known.
class FixedDateClock : public QtClock {
public:
    std::string date_text() override { return "2026-12-06"; }
    std::string date_time_text() override { return "2026/12/6 19:05:01"; }
};

// A device on the master side of the line, run by a thread of the test:
// it takes each 8-byte request and answers after a delay.
class LineDevice {
public:
    struct Answer {
        Bytes bytes;
        std::chrono::milliseconds delay{0};
    };
    using Behaviour = std::function<Answer(const Bytes& request, int index)>;

    LineDevice(Pty& line, Behaviour behaviour)
        : m_line(line), m_behaviour(std::move(behaviour)), m_thread([this] { serve(); })
    {
    }
    ~LineDevice()
    {
        m_stop = true;
        m_thread.join();
    }
    std::vector<Bytes> requests()
    {
        std::lock_guard lock(m_mutex);
        return m_requests;
    }

private:
    void serve()
    {
        using std::chrono::milliseconds;
        while (!m_stop) {
            Bytes request = m_line.read(8, milliseconds(50));
            while (!request.empty() && request.size() < 8 && !m_stop) {
                const Bytes more = m_line.read(8 - request.size(), milliseconds(50));
                request.insert(request.end(), more.begin(), more.end());
            }
            if (request.size() < 8)
                continue;
            int index;
            {
                std::lock_guard lock(m_mutex);
                m_requests.push_back(request);
                index = static_cast<int>(m_requests.size()) - 1;
            }
            const Answer answer = m_behaviour(request, index);
            for (auto left = answer.delay; left > milliseconds(0) && !m_stop;
                 left -= milliseconds(10))
                std::this_thread::sleep_for(std::min(left, milliseconds(10)));
            if (!answer.bytes.empty() && !m_stop)
                m_line.write(answer.bytes);
        }
    }

    Pty& m_line;
    Behaviour m_behaviour;
    std::mutex m_mutex;
    std::vector<Bytes> m_requests;
    std::atomic<bool> m_stop{false};
    std::thread m_thread;
};

inline LineDevice::Behaviour always(Bytes answer,
                                    std::chrono::milliseconds delay = std::chrono::milliseconds(0))
{
    return [=](const Bytes&, int) { return LineDevice::Answer{answer, delay}; };
}

// The tool's folder with port 9 on a pseudo-terminal, and the window on it.
struct Rig {
    Rig() { line.link(dir.file("ports/COM9")); }

    Form1& form()
    {
        if (!m_form)
            m_form = std::make_unique<Form1>(dir.path(), Form1Services{&messages, &clock});
        return *m_form;
    }
    void open_port()
    {
        form().Command_uart->click();
        ASSERT_EQ(form().lamp_color(), 255);
    }
    // Presses the change button; returns how long the attempt took.
    std::chrono::milliseconds press()
    {
        QElapsedTimer t;
        t.start();
        form().Command2->click();
        return std::chrono::milliseconds(t.elapsed());
    }
    // Runs what the window would do meanwhile, at ms into the next press.
    void during_wait(int ms, std::function<void()> action)
    {
        QTimer::singleShot(ms, &form(), std::move(action));
    }
    std::string day_log() { return read_file(dir.file("2026-12-06.txt")); }

    TempDir dir;
    Pty line;
    MessageRecorder messages;
    FixedDateClock clock;

private:
    std::unique_ptr<Form1> m_form;
};

// The attempt 17 -> 1 as the log box shows it.

inline const std::string success_entry =
    "************************************\r\n"
    "开始设置，原ID= 17;   新ID= 1   \r\n"
    "设置时间：2026/12/6 19:05:01\r\n"
    "发送命令：11 6 0 A 0 1 6A 98\r\n"
    "响应数据：1 6 0 A 0 1 68 8\r\n"
    "Modbus 新ID 设置成功  ************************************\r\n"
    "\r\n";

inline const std::string no_reply_entry =
    "************************************\r\n"
    "开始设置，原ID= 17;   新ID= 1   \r\n"
    "设置时间：2026/12/6 19:05:01\r\n"
    "发送命令：11 6 0 A 0 1 6A 98\r\n"
    "设置无响应，请重新设置************************************\r\n"
    "\r\n";

} // namespace qrv::test
