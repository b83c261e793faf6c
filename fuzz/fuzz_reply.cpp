// Whatever a device, a noisy line or a second master puts on the wire after
// the request: one whole attempt, an entry framed as always, and a message
// exactly when it failed. Bytes 0 and 1 pick the IDs, the rest is what waits
// in the input queue after the wait.
#include "change_command.h"
#include "fakes.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>

namespace {

void require(bool ok, const char* what)
{
    if (!ok) {
        std::fprintf(stderr, "invariant broken: %s\n", what);
        std::abort();
    }
}

// The day log file is /dev/null, so that millions of attempts cost no disk.
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
    qrv::test::FakeWindow window;
    qrv::test::FakeSerial serial;
    qrv::test::FakeClock clock;
    qrv::test::MessageRecorder messages;
    qrv::WindowVars vars;
    window.lamp = 255;
    window.old_id = std::to_string(1 + data[0] % 247);
    window.new_id = std::to_string(1 + data[1] % 247);
    vars.uart_port = 9;
    serial.open_ports[9] = 115200;
    serial.device = [&](const qrv::test::Bytes&) {
        return qrv::test::Bytes(data + 2, data + size);
    };

    const qrv::Verdict verdict =
        qrv::ChangeCommand(window, serial, clock, messages, vars, folder.path).run();
    const std::string star = "************************************";
    require(window.log.rfind(star + "\r\n", 0) == 0, "entry does not open with the star line");
    require(window.log.ends_with(star + "\r\n\r\n"), "entry does not close with the star line");
    require(messages.messages.size() == (verdict == qrv::Verdict::success ? 0U : 1U),
            "a message unless the change took");
    return 0;
}
