#include "scripted_presses.h"

#include "form1.h"

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <cstdio>

void press_from_environment(Form1& window)
{
    const QStringList presses =
        qEnvironmentVariable("QRV_IDSET_PRESS").split(QLatin1Char(','), Qt::SkipEmptyParts);
    if (presses.isEmpty())
        return;
    // A message box waits in an event loop of its own: this timer answers it
    // from there.
    auto* answer = new QTimer(&window);
    QObject::connect(answer, &QTimer::timeout, &window, [] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
            std::printf("%s\n", box->text().toUtf8().constData());
            std::fflush(stdout);
            box->accept();
        }
    });
    answer->start(100);
    QTimer::singleShot(0, &window, [&window, presses] {
        for (const QString& press : presses) {
            QPushButton* button = press == QLatin1String("port")     ? window.port_button()
                                  : press == QLatin1String("change") ? window.change_button()
                                                                     : nullptr;
            if (button)
                button->click();
        }
        window.close();
    });
}
