#include "form1.h"
#include "program_folder.h"
#include "scripted_presses.h"
#include "stop_signals.h"
#include "tool_folder.h"

#include <QApplication>

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    Form1 window(qrv::tool_folder(qrv::program_folder()));
    quit_on_stop_signals([&window] { window.end_session(); });
    window.show();
    press_from_environment(window);
    return app.exec();
}
