#include "qt_clock.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QLocale>
#include <QRegularExpression>
#include <QThread>
#include <QTimer>
#include <chrono>

namespace qrv {

std::string QtClock::date_text()
{
    return QDate::currentDate().toString(QStringLiteral("yyyy-MM-dd")).toStdString();
}

std::string QtClock::date_time_text()
{
    const QLocale locale = QLocale::system();
    const QDateTime now = QDateTime::currentDateTime();
    const QString time_format = time_format_without_zone(locale.timeFormat(QLocale::LongFormat));
    return (locale.toString(now.date(), QLocale::ShortFormat) + QLatin1Char(' ') +
            locale.toString(now.time(), time_format))
        .toStdString();
}

QString time_format_without_zone(const QString& format)
{
    // 't' to 'tttt' outside quoted literals name the zone.
    static const QRegularExpression zone(QStringLiteral("('[^']*')|\\s*t+"));
    QString out;
    qsizetype last = 0;
    for (auto it = zone.globalMatch(format); it.hasNext();) {
        const auto m = it.next();
        out += format.mid(last, m.capturedStart() - last);
        if (m.capturedLength(1) > 0)
            out += m.captured(1);
        last = m.capturedEnd();
    }
    out += format.mid(last);
    return out.trimmed();
}

std::int64_t QtClock::now_ms()
{
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

void QtClock::wait_handling_events(int ms, const Meanwhile& meanwhile)
{
    if (ms <= 0)
        return;
    QElapsedTimer elapsed; // monotonic: immune to changes of the wall clock
    elapsed.start();
    QEventLoop loop;
    QTimer timer;
    timer.setSingleShot(true);
    timer.setTimerType(Qt::PreciseTimer);
    QObject::connect(&timer, &QTimer::timeout, &loop, &QEventLoop::quit);
    // A timer of the same loop: the wait still sleeps between its turns.
    QTimer turns;
    if (meanwhile) {
        QObject::connect(&turns, &QTimer::timeout, meanwhile);
        turns.start(meanwhile_ms);
    }
    for (qint64 left = ms; left > 0; left = ms - elapsed.elapsed()) {
        timer.start(static_cast<int>(left));
        loop.exec();
        // The application is quitting and ends every event loop at once:
        // whoever waits sleeps out what it still needs.
        if (timer.isActive())
            return;
    }
}

void QtClock::sleep_ms(int ms)
{
    if (ms > 0)
        QThread::msleep(static_cast<unsigned long>(ms));
}

} // namespace qrv
