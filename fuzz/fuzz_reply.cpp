// Whatever a device, a noisy line or a second master puts on the wire after
// the request: one whole change, judged only by its 8-byte echo.
//
// Input: byte 0 and 1 pick the old and the new ID (1..247), the rest is what
// is waiting in the port's input queue after the one-second wait.
#include "change_command.h"
#include "fakes.h"
#include "frame.h"
#include "oplog.h"
#include "reference_crc.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <span>
#include <string>
#include <vector>

namespace {

using qrv::test::Bytes;

void require(bool ok, const char* what)
{
    if (!ok) {
        std::fprintf(stderr, "invariant broken: %s\n", what);
        std::abort();
    }
}

bool ends_with(const std::string& text, const std::string& tail)
{
    return text.size() >= tail.size() &&
           text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

bool crc_at_end(const Bytes& frame)
{
    const std::uint16_t crc = qrv::test::reference_crc(frame.data(), 6);
    return frame[6] == (crc & 0xFF) && frame[7] == crc >> 8;
}

// The tool's folder: its day log file is /dev/null, so that millions of
// attempts cost no disk.
struct ToolFolder {
    ToolFolder()
    {
        const char* tmp = std::getenv("TMPDIR");
        path = std::string(tmp && *tmp ? tmp : "/tmp") + "/qrv-fuzz-reply-XXXXXX";
        require(::mkdtemp(path.data()) != nullptr, "temporary folder");
        std::filesystem::create_symlink("/dev/null", path + "/2026-12-06.txt");
    }
    ~ToolFolder() { std::filesystem::remove_all(path); }
    std::string path;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static const ToolFolder folder;
    if (size < 2)
        return 0;
    const auto old_id = static_cast<std::uint8_t>(1 + data[0] % 247);
    const auto new_id = static_cast<std::uint8_t>(1 + data[1] % 247);
    const Bytes answer(data + 2, data + size);

    qrv::test::FakeWindow window;
    qrv::test::FakeSerial serial;
    qrv::test::FakeClock clock;
    qrv::test::MessageRecorder messages;
    qrv::WindowVars vars;
    window.lamp = 255;
    window.old_id = std::to_string(old_id);
    window.new_id = std::to_string(new_id);
    vars.uart_port = 9;
    serial.open_ports[9] = 115200;
    serial.device = [&](const Bytes&) { return answer; };
    clock.date = "2026-12-06";

    qrv::ChangeCommand command(window, serial, clock, messages, vars, folder.path);
    const qrv::Verdict verdict = command.run();

    require(clock.waits == std::vector<int>{1000}, "not one one-second wait");
    require(serial.written.size() == 1 && serial.written[0].size() == 8, "not one 8-byte request");
    const Bytes& request = serial.written[0];
    require(request[0] == old_id && request[1] == 0x06 && request[2] == 0 && request[3] == 10 &&
                request[4] == 0 && request[5] == new_id && crc_at_end(request),
            "request is not register 10 = new ID to the old ID");

    const bool eight = answer.size() == qrv::frame_len;
    const bool crc_ok = eight && crc_at_end(answer);
    if (eight)
        require(qrv::frame_crc_ok(std::span<const std::uint8_t, 8>(answer.data(), 8)) == crc_ok,
                "the tool's CRC check disagrees");
    const bool good = crc_ok && answer[0] == new_id;
    const qrv::Verdict expected = good    ? qrv::Verdict::success
                                  : eight ? qrv::Verdict::mismatch
                                          : qrv::Verdict::no_reply;
    require(verdict == expected, "wrong verdict");

    const std::string& log = window.log;
    const std::string star = std::string(qrv::star_line);
    require(log.rfind(star + "\r\n", 0) == 0, "log entry does not open with the star line");
    require(ends_with(log, star + "\r\n\r\n"), "log entry does not close with the star line");
    const std::string reply_line = "响应数据：" + qrv::hex_bytes(answer) + "\r\n";
    require((log.find("响应数据：") != std::string::npos) == eight, "reply line iff 8 bytes");
    require(!eight || log.find(reply_line) != std::string::npos, "reply line shows other bytes");

    const std::string result(good    ? qrv::text_success
                             : eight ? qrv::text_mismatch
                                     : qrv::text_no_reply);
    require(ends_with(log, result + star + "\r\n\r\n"), "result line missing");
    require(messages.messages ==
                (good ? std::vector<std::string>{} : std::vector<std::string>{result}),
            "messages differ from the verdict");
    return 0;
}
