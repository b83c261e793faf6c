// Times whole ID changes of the Win32 window under Wine against the virtual
// device on COM9: the wall time from the press to the verdict, and the
// processor time the window spent meanwhile.
#include "fakes.h"
#include "form1.h"
#include "wine.h"

#include <algorithm>
#include <cstdio>

namespace {

double now_ms()
{
    LARGE_INTEGER count, frequency;
    QueryPerformanceCounter(&count);
    QueryPerformanceFrequency(&frequency);
    return static_cast<double>(count.QuadPart) * 1e3 / static_cast<double>(frequency.QuadPart);
}

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
    double wall_total = 0, cpu_total = 0, wall_max = 0;
    int successes = 0;
    for (int i = 0; i < attempts; ++i) {
        // Back and forth between 17 and 1, so every attempt is a real change.
        form.set_old_id_text(i % 2 ? "1" : "17");
        form.set_new_id_text(i % 2 ? "17" : "1");
        const double cpu_before = cpu_ms(), start = now_ms();
        SendMessageW(form.hwnd(), WM_COMMAND,
                     MAKEWPARAM(GetDlgCtrlID(form.change_button()), BN_CLICKED),
                     reinterpret_cast<LPARAM>(form.change_button()));
        const double took = now_ms() - start;
        cpu_total += cpu_ms() - cpu_before;
        wall_total += took;
        wall_max = std::max(wall_max, took);
        successes += form.log_text().find("设置成功") != std::string::npos;
    }
    std::printf("attempts            %d (%d successful, %zu messages)\n", attempts, successes,
                messages.messages.size());
    std::printf("press to verdict    mean %.1f ms, max %.1f ms\n", wall_total / attempts, wall_max);
    std::printf("processor time      mean %.2f ms per attempt = %.2f%% of one core\n",
                cpu_total / attempts, 100.0 * cpu_total / wall_total);
    return successes == attempts ? 0 : 1;
}
