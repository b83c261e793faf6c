// parameter.txt as any program or accident may have left it: the reader must
// neither crash nor pick a list entry that does not exist.
#include "settings_file.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <string_view>
#include <unistd.h>

namespace {

void require(bool ok, const char* what)
{
    if (!ok) {
        std::fprintf(stderr, "invariant broken: %s\n", what);
        std::abort();
    }
}

// One file per process, rewritten for every input: the reader on disk must
// see what the reader in memory sees.
struct ScratchFile {
    ScratchFile()
    {
        const char* tmp = std::getenv("TMPDIR");
        path = std::string(tmp && *tmp ? tmp : "/tmp") + "/qrv-fuzz-settings-" +
               std::to_string(::getpid()) + ".txt";
    }
    ~ScratchFile() { std::remove(path.c_str()); }
    std::string path;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static const ScratchFile file;
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    const auto fields = qrv::read_fields(bytes, 2);
    require(fields.size() <= 2, "at most the fields asked for");

    // Asking for more fields must not change the first ones.
    const auto more = qrv::read_fields(bytes, 24);
    require(more.size() >= fields.size(), "more fields asked, fewer read");
    for (std::size_t i = 0; i < fields.size(); ++i)
        require(more[i] == fields[i], "field differs with the number asked for");

    for (const auto& field : more) {
        const auto port = qrv::stored_index(field, 24);
        const auto baud = qrv::stored_index(field, 6);
        require(!port || (*port >= 0 && *port < 24), "port index out of its list");
        require(!baud || (*baud >= 0 && *baud < 6), "baud index out of its list");
        require(!baud || port == baud, "same text, different index in a longer list");
    }

    // Fields without a quote, written back quoted between every kind of
    // field end, read back as they were; the writer's record too.
    const auto has_quote = [](const std::string& f) { return f.find('"') != std::string::npos; };
    if (std::none_of(more.begin(), more.end(), has_quote)) {
        static const char* const ends[] = {",", "\r\n", "\r", "\n"};
        std::string text;
        for (std::size_t i = 0; i < more.size(); ++i)
            text += '"' + more[i] + '"' + ends[(i + more[i].size()) % 4];
        require(qrv::read_fields(text, 24) == more, "quoted fields read back differently");
        if (fields.size() == 2)
            require(qrv::read_fields(qrv::settings_record({fields[0], fields[1]}), 2) == fields,
                    "written record reads back differently");
    }

    // A file larger than any settings file is refused whole.
    if (size > 64 * 1024)
        return 0;
    {
        std::ofstream out(file.path, std::ios::binary | std::ios::trunc);
        out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    }
    const auto loaded = qrv::load_port_settings(file.path);
    require(loaded.has_value() == (fields.size() == 2),
            "file and memory disagree on whether two fields are there");
    if (loaded) {
        require(loaded->saved_port_index == fields[0], "port text differs from memory");
        require(loaded->saved_baud_index == fields[1], "baud text differs from memory");
    }
    return 0;
}
