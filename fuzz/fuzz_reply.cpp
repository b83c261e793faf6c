// Whatever a device, a noisy line or a second master puts on the wire after
// the request: one whole attempt, its entry framed as always, a message
// exactly when it failed. Bytes 0 and 1 pick the IDs; the rest waits in the
// input queue after the wait.
#include "change_command.h"
#include "fakes.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    // The day log file is /dev/null: millions of attempts cost no disk.
    static const std::string folder = [] {
        std::string path = std::string(std::getenv("TMPDIR") ?: "/tmp") + "/qrv-fuzz-XXXXXX";
        if (::mkdtemp(path.data()))
            std::filesystem::create_symlink("/dev/null", path + "/2026-12-06.txt");
        return path;
    }();
    if (size < 2)
        return 0;
    qrv::test::FakeWindow window;
    qrv::test::FakeSerial serial;
    qrv::test::FakeClock clock;
    qrv::test::MessageRecorder messages;
    window.lamp = 255;
    window.old_id = std::to_string(1 + data[0] % 247);
    window.new_id = std::to_string(1 + data[1] % 247);
    const qrv::WindowVars vars{115200, 9};
    serial.open_ports[9] = 115200;
    serial.device = [&](const qrv::test::Bytes&) {
        return qrv::test::Bytes(data + 2, data + size);
    };

    const auto verdict = qrv::ChangeCommand(window, serial, clock, messages, vars, folder).run();
    const std::string star = "************************************";
    if (window.log.rfind(star + "\r\n", 0) != 0 || !window.log.ends_with(star + "\r\n\r\n") ||
        messages.messages.size() != (verdict == qrv::Verdict::success ? 0U : 1U)) {
        std::fprintf(stderr, "entry not framed by star lines, or a message for a success\n");
        std::abort();
    }
    return 0;
}
