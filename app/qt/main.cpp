#include "form1.h"
#include "stop_signals.h"

#include <QApplication>

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    Form1 window(QCoreApplication::applicationDirPath().toStdString());
    quit_on_stop_signals([&window] { window.end_session(); });
    window.show();
    return app.exec();
}
