// Test fakes of the narrow interfaces that the core units take.
#pragma once

#include "clock.h"
#include "serial_api.h"
#include "window_state.h"

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

namespace qrv::test {

using Bytes = std::vector<std::uint8_t>;

// The window's first change, 17 -> 1, and the echo from the device's new address.
inline const Bytes request_17_to_1{0x11, 0x06, 0x00, 0x0A, 0x00, 0x01, 0x6A, 0x98};
inline const Bytes echo_from_1{0x01, 0x06, 0x00, 0x0A, 0x00, 0x01, 0x68, 0x08};

// Records every message instead of showing a box.
class MessageRecorder : public MessageSink {
public:
    void show_message(const std::string& text) override { messages.push_back(text); }
    std::vector<std::string> messages;
};

// The window's state as plain values; setting a text raises no change event.
class FakeWindow : public WindowState {
public:
    std::int32_t lamp_color() const override { return lamp; }
    void set_lamp_color(std::int32_t color) override { lamp = color; }
    int port_index() const override { return port; }
    void set_port_index(int index) override { port = index; }
    int baud_index() const override { return baud; }
    void set_baud_index(int index) override { baud = index; }
    std::string baud_entry(int index) const override;
    void set_lists_enabled(bool enabled) override { lists_enabled = enabled; }
    void set_port_caption(const std::string& text) override { caption = text; }
    std::string old_id_text() const override { return old_id; }
    void set_old_id_text(const std::string& text) override { old_id = text; }
    std::string new_id_text() const override { return new_id; }
    void set_new_id_text(const std::string& text) override { new_id = text; }
    std::string log_text() const override { return log; }
    void set_log_text(const std::string& text) override { log = text; }

    std::int32_t lamp = 0;
    int port = 8;
    int baud = 4;
    bool lists_enabled = true;
    std::string caption = "打开串口";
    std::string old_id = "17";
    std::string new_id = "1";
    std::string log;
};

// Fixed date texts; the wait takes no time and runs during_wait instead.
class FakeClock : public Clock {
public:
    std::string date_text() override { return date; }
    std::string date_time_text() override { return date_time; }
    void delay_ms(int ms) override;

    std::string date = "2026-12-06";
    std::string date_time = "2026/12/6 19:05:01";
    std::vector<int> waits;
    std::function<void()> during_wait;
};

// A serial library whose device is a function of each written frame.
class FakeSerial : public SerialApi {
public:
    int sio_open(int port) override;
    int sio_baud(int port, std::int32_t baud) override;
    int sio_close(int port) override;
    int sio_write(int port, const std::uint8_t* buf, int len) override;
    int sio_iqueue(int port) override;
    int sio_read(int port, std::uint8_t* buf, int len) override;
    int sio_flush(int port) override;

    int open_status = sio_ok;
    int baud_status = sio_ok;
    std::map<int, std::int32_t> open_ports; // port -> baud
    std::vector<std::string> calls;         // "open 9", "baud 9 115200", ...
    std::vector<Bytes> written;
    Bytes input;                               // bytes waiting to be read
    std::function<Bytes(const Bytes&)> device; // answer to each write

private:
    bool is_open(int port) const { return open_ports.count(port) > 0; }
};

} // namespace qrv::test
