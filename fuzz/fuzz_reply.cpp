// Whatever a device, a noisy line or a second master puts on the wire after
// a request: one whole ID change, its entry framed as always, a message
// exactly when it failed; and the same bytes as the answer to a read of
// register 10, a value only from a whole frame of the address asked, and
// as the answer to a read of the identification, which announces its own
// length. Bytes 0 and 1 pick the IDs; the rest is what came.
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
    window.port_open = true;
    window.old_id = std::to_string(1 + data[0] % 247);
    window.new_id = std::to_string(1 + data[1] % 247);
    const qrv::PortChoice choice{9, 115200};
    serial.open_ports[9] = 115200;
    serial.device = [&](const qrv::test::Bytes&) {
        return qrv::test::Bytes(data + 2, data + size);
    };

    const auto verdict = qrv::ChangeCommand(window, serial, clock, messages, choice, folder).run();
    const std::string star = "************************************";
    const auto read = qrv::parse_read_reply({data + 2, size - 2}, data[1]);
    const bool value = read.kind == qrv::ReadReply::Kind::value;
    const auto identify = qrv::parse_identify_reply({data + 2, size - 2}, data[1]);
    const bool identified = identify.kind == qrv::ReadReply::Kind::value;
    if (window.log.rfind(star + "\r\n", 0) != 0 || !window.log.ends_with(star + "\r\n\r\n") ||
        messages.messages.size() != (verdict == qrv::Verdict::success ? 0U : 1U) ||
        (read.kind == qrv::ReadReply::Kind::none) != (size == 2) ||
        (value && (size != 9 || data[2] != data[1] || read.value != (data[5] << 8 | data[6]))) ||
        (identified &&
         (data[2] != data[1] || data[3] != qrv::fc_encapsulated_interface ||
          qrv::identify_reply_len({data + 2, size - 2}) != size - 2 ||
          identify.identity.vendor.size() + identify.identity.product.size() > 4 * size))) {
        std::fprintf(stderr, "entry not framed, a message for a success, or a reply misjudged\n");
        std::abort();
    }
    return 0;
}
