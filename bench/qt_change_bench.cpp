// Times whole ID changes against the virtual device: the wall time from the
// press to the verdict, and the processor time the tool spent meanwhile.
#include "change_bench.h"
#include "form1.h"
#include "pty.h"

#include <QApplication>
#include <QLineEdit>
#include <QPushButton>
#include <cstdlib>
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

    return time_changes(
        attempts, messages,
        [&](const char* old_id, const char* new_id) {
            form.old_id_box()->setText(old_id);
            form.new_id_box()->setText(new_id);
        },
        [&] { form.change_button()->click(); },
        [&] { return form.log_text().find("设置成功") != std::string::npos; }, cpu_ms);
}
