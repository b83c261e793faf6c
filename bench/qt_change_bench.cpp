// Times whole ID changes against the virtual device: the wall time from the
// press to the verdict, and the processor time the tool spent meanwhile.
#include "fakes.h"
#include "form1.h"
#include "pty.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QPushButton>
#include <cstdio>
#include <sys/resource.h>

namespace {

double cpu_ms()
{
    rusage use{};
    getrusage(RUSAGE_SELF, &use);
    return (use.ru_utime.tv_sec + use.ru_stime.tv_sec) * 1e3 +
           (use.ru_utime.tv_usec + use.ru_stime.tv_usec) / 1e3;
}

} // namespace

int main(int argc, char* argv[])
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int attempts = argc > 1 ? std::max(1, std::atoi(argv[1])) : 10;

    qrv::test::TempDir dir;
    qrv::test::Devsim device(dir.file("ports/COM9"), {"--id", "17"});
    qrv::test::MessageRecorder messages;
    Form1 form(dir.path(), {&messages});
    form.port_button()->click();
    if (!form.is_port_open()) {
        std::fprintf(stderr, "could not open the virtual device's port\n");
        return 1;
    }

    double wall_total = 0, cpu_total = 0, wall_max = 0;
    int successes = 0;
    for (int i = 0; i < attempts; ++i) {
        // Back and forth between 17 and 1, so every attempt is a real change.
        form.old_id_box()->setText(i % 2 ? "1" : "17");
        form.new_id_box()->setText(i % 2 ? "17" : "1");
        QElapsedTimer wall;
        const double cpu_before = cpu_ms();
        wall.start();
        form.change_button()->click();
        const double took = static_cast<double>(wall.nsecsElapsed()) / 1e6;
        const double cpu = cpu_ms() - cpu_before;
        wall_total += took;
        cpu_total += cpu;
        wall_max = std::max(wall_max, took);
        if (form.log_text().find("设置成功") != std::string::npos)
            ++successes;
    }
    std::printf("attempts            %d (%d successful, %zu messages)\n", attempts, successes,
                messages.messages.size());
    std::printf("press to verdict    mean %.1f ms, max %.1f ms\n", wall_total / attempts, wall_max);
    std::printf("processor time      mean %.2f ms per attempt = %.2f%% of one core\n",
                cpu_total / attempts, 100.0 * cpu_total / wall_total);
    return successes == attempts ? 0 : 1;
}
