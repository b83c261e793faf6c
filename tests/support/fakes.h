// Fakes of the narrow interfaces that the core takes, free of GoogleTest so
// that the fuzz targets use them too.
#pragma once

#include "clock.h"
#include "serial_api.h"
#include "window_state.h"

#include <algorithm>
#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

namespace qrv::test {

using Bytes = std::vector<std::uint8_t>;
using Strings = std::vector<std::string>;

class MessageRecorder : public MessageSink {
public:
    void show_message(const std::string& text) override
    {
        messages.push_back(text);
        if (on_message)
            on_message();
    }
    Strings messages;
    std::function<void()> on_message; // runs while the message is shown
};

// The window's state as plain values; setting a text raises no change event.
class FakeWindow : public WindowState {
public:
    bool is_port_open() const override { return port_open; }
    void set_port_open(bool open) override { port_open = open; }
    int port_index() const override { return port; }
    void set_port_index(int index) override { port = index; }
    int baud_index() const override { return baud; }
    void set_baud_index(int index) override { baud = index; }
    std::string baud_entry(int index) const override { return bauds.at(std::size_t(index)); }
    void set_lists_enabled(bool enabled) override { lists_enabled = enabled; }
    void set_port_caption(const std::string& text) override { caption = text; }
    void set_port_button_enabled(bool enabled) override { port_button_enabled = enabled; }
    std::string old_id_text() const override { return old_id; }
    void set_old_id_text(const std::string& text) override { old_id = text; }
    std::string new_id_text() const override { return new_id; }
    void set_new_id_text(const std::string& text) override { new_id = text; }
    void set_log_text(const std::string& text) override { log = text; }
    void append_log_text(const std::string& text) override { log += text; }

    bool port_open = false;
    int port = 8, baud = 4;
    Strings bauds{"9600", "19200", "38400", "57600", "115200", "230400"};
    bool lists_enabled = true, port_button_enabled = true;
    std::string caption = "打开串口", old_id = "17", new_id = "1", log;
};

// Fixed date texts; the wait takes no time: its turns of meanwhile step the
// time on, and during_wait runs halfway.
class FakeClock : public Clock {
public:
    std::string date_text() override { return date; }
    std::string date_time_text() override { return "2026/12/6 19:05:01"; }
    void wait_handling_events(int ms, const Meanwhile& meanwhile) override
    {
        waits.push_back(ms);
        const std::int64_t end = now + ms;
        bool acted = !during_wait;
        while (now < end) {
            now = std::min<std::int64_t>(now + meanwhile_ms, end);
            if (!acted && now >= end - ms / 2) {
                acted = true;
                during_wait();
            }
            if (meanwhile)
                meanwhile();
        }
    }
    std::int64_t now_ms() override { return now; }
    void sleep_ms(int ms) override
    {
        sleeps.push_back(ms);
        now += ms;
    }

    std::string date = "2026-12-06";
    std::int64_t now = 0;
    std::vector<int> waits, sleeps;
    std::function<void()> during_wait;
};

// A serial library whose device answers each written frame: at once, or,
// on a fake clock, latency_ms later and chunk bytes at a time, a millisecond
// apart, as a real line hands a reply over in pieces.
class FakeSerial : public SerialApi {
public:
    int sio_open(int port) override
    {
        if (open_status == sio_ok)
            open_ports[port] = 0;
        return call("open", port, open_status);
    }
    int sio_open_device(int port, const std::string& device) override
    {
        devices[port] = device;
        if (open_status == sio_ok)
            open_ports[port] = 0;
        return call(("open " + device).c_str(), port, open_status);
    }
    int sio_baud(int port, std::int32_t baud) override
    {
        const bool refused = std::ranges::find(refused_bauds, baud) != refused_bauds.end();
        const int status = failure(port) ?: refused ? sio_bad_baud : baud_status;
        if (status == sio_ok)
            open_ports[port] = baud;
        return call("baud", port, status, baud);
    }
    int sio_close(int port) override
    {
        return call("close", port, open_ports.erase(port) ? sio_ok : sio_bad_port);
    }
    int sio_write(int port, const std::uint8_t* buf, int len) override
    {
        if (const int failed = failure(port) ?: write_status)
            return call("write", port, failed);
        written.emplace_back(buf, buf + len);
        arrive(device ? device(written.back()) : Bytes{});
        return call("write", port, sio_ok);
    }
    int sio_iqueue(int port) override
    {
        deliver();
        return call("iqueue", port, failure(port) ?: int(input.size()));
    }
    int sio_read(int port, std::uint8_t* buf, int len) override
    {
        if (const int failed = failure(port))
            return call("read", port, failed);
        deliver();
        const auto n = std::min(input.size(), std::size_t(len));
        std::copy_n(input.begin(), n, buf);
        input.erase(input.begin(), input.begin() + std::ptrdiff_t(n));
        return call("read", port, int(n));
    }
    int sio_flush(int port) override
    {
        deliver();
        if (is_open(port))
            input.clear();
        return call("flush", port, failure(port));
    }
    // Without a clock nothing more comes than the device gave: waiting fails.
    int sio_wait_input(int port, int ms) override
    {
        deliver();
        if (const int failed = failure(port) ?: input.empty() && !clock ? sio_bad_port : 0)
            return call("wait", port, failed);
        if (input.empty() && !arriving.empty() && arriving.front().first <= clock->now + ms) {
            clock->now = arriving.front().first;
            deliver();
        } else if (input.empty()) {
            clock->now += ms;
        }
        return call("wait", port, int(input.size()));
    }

    std::string sio_device(int port) const override
    {
        return devices.count(port) ? devices.at(port) : "COM" + std::to_string(port);
    }
    std::string sio_last_error() const override { return gone ? "gone" : "refused"; }

    // Bytes that come in, on the fake clock when there is one.
    void arrive(const Bytes& bytes, std::int64_t after_ms = -1)
    {
        if (!clock) {
            input.insert(input.end(), bytes.begin(), bytes.end());
            return;
        }
        std::int64_t at = clock->now + (after_ms < 0 ? latency_ms : after_ms);
        const std::size_t step = chunk ? chunk : std::max<std::size_t>(bytes.size(), 1);
        for (std::size_t i = 0; i < bytes.size(); i += step, ++at) {
            const Bytes piece(bytes.begin() + std::ptrdiff_t(i),
                              bytes.begin() + std::ptrdiff_t(std::min(i + step, bytes.size())));
            arriving.insert(
                std::upper_bound(arriving.begin(), arriving.end(), at,
                                 [](std::int64_t t, const auto& a) { return t < a.first; }),
                {at, piece});
        }
    }

    int open_status = sio_ok, baud_status = sio_ok, write_status = sio_ok;
    bool gone = false; // the adapter is pulled: every call on an open port fails so
    std::vector<std::int32_t> refused_bauds;
    std::map<int, std::int32_t> open_ports; // port -> baud
    std::map<int, std::string> devices;     // port -> the device an open named
    Strings calls;                          // "open 9", "baud 9 115200", ...
    std::vector<Bytes> written;
    Bytes input; // bytes waiting to be read
    std::function<Bytes(const Bytes&)> device;
    FakeClock* clock = nullptr;
    int latency_ms = 0;
    std::size_t chunk = 0;
    std::vector<std::pair<std::int64_t, Bytes>> arriving; // by time
    std::int64_t last_arrival = -1; // when the last of them came; -1: none yet

private:
    bool is_open(int port) const { return open_ports.count(port) > 0; }
    // 0, or why any call on the port fails now.
    int failure(int port) const { return !is_open(port) ? sio_bad_port : gone ? sio_port_gone : 0; }
    void deliver()
    {
        while (clock && !arriving.empty() && arriving.front().first <= clock->now) {
            input.insert(input.end(), arriving.front().second.begin(),
                         arriving.front().second.end());
            last_arrival = arriving.front().first;
            arriving.erase(arriving.begin());
        }
    }
    int call(const char* name, int port, int result, long arg = -1)
    {
        std::string call = std::string(name).append(" ").append(std::to_string(port));
        if (arg >= 0)
            call.append(" ").append(std::to_string(arg));
        calls.push_back(std::move(call));
        return result;
    }
};

} // namespace qrv::test
