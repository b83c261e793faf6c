// Times whole ID changes of the Win32 window under Wine against the virtual
// device on COM9: the wall time from the press to the verdict, and the
// processor time the window spent meanwhile.
#include "change_bench.h"
#include "form1.h"
#include "wine.h"

#include <cstdlib>

namespace {

double cpu_ms()
{
    FILETIME created, ended, kernel, user;
    GetProcessTimes(GetCurrentProcess(), &created, &ended, &kernel, &user);
    const auto ms = [](FILETIME t) {
        return static_cast<double>((std::uint64_t(t.dwHighDateTime) << 32) | t.dwLowDateTime) / 1e4;
    };
    return ms(kernel) + ms(user);
}

} // namespace

int main(int argc, char* argv[])
{
    const int attempts = argc > 1 ? std::max(1, std::atoi(argv[1])) : 10;
    qrv::test::TempDir dir;
    qrv::test::Devsim device(9);
    qrv::test::MessageRecorder messages;
    Form1 form(dir.path(), {&messages});
    form.show();
    SendMessageW(form.port_button(), BM_CLICK, 0, 0);
    if (!form.is_port_open()) {
        std::fprintf(stderr, "could not open COM9\n");
        return 1;
    }
    return time_changes(
        attempts, messages,
        [&](const char* old_id, const char* new_id) {
            form.set_old_id_text(old_id);
            form.set_new_id_text(new_id);
        },
        [&] {
            SendMessageW(form.hwnd(), WM_COMMAND,
                         MAKEWPARAM(GetDlgCtrlID(form.change_button()), BN_CLICKED),
                         reinterpret_cast<LPARAM>(form.change_button()));
        },
        [&] { return form.log_text().find("设置成功") != std::string::npos; }, cpu_ms);
}
