#include "qt_clock.h"

#include <QAbstractEventDispatcher>
#include <QCoreApplication>
#include <QDateTime>
#include <QElapsedTimer>
#include <QLocale>
#include <QTimer>
#include <gtest/gtest.h>

TEST(QtClock, DateAndTimeTextsWithoutTimeZone)
{
    const struct {
        const char* format;
        const char* expected;
    } rows[] = {
        {"HH:mm:ss t", "HH:mm:ss"},          {"h:mm:ss AP t", "h:mm:ss AP"},
        {"HH'h'mm:ss tttt", "HH'h'mm:ss"},   {"t HH:mm:ss", "HH:mm:ss"},
        {"HH:mm:ss 'at' ", "HH:mm:ss 'at'"},
    };
    for (const auto& row : rows)
        EXPECT_EQ(qrv::time_format_without_zone(row.format), row.expected) << row.format;

    // The real clock in this process's locale, whose long time names the zone.
    qrv::QtClock clock;
    const QDateTime now = QDateTime::currentDateTime();
    const QString text = QString::fromStdString(clock.date_time_text());
    ASSERT_TRUE(QLocale::system().timeFormat(QLocale::LongFormat).contains('t'));
    EXPECT_TRUE(text.startsWith(QLocale::system().toString(now.date(), QLocale::ShortFormat) + ' '))
        << text.toStdString();
    EXPECT_FALSE(text.contains(now.timeZoneAbbreviation())) << text.toStdString();
    EXPECT_EQ(clock.date_text(), now.toString("yyyy-MM-dd").toStdString());
}

// The wait sleeps in the event loop until its timer or an event wakes it,
// and wakes for what it does meanwhile about every 25 ms. A wait that polls
// for events instead turns the dispatcher over thousands of times a second,
// however busy the machine: counted, not timed.
TEST(QtClock, WaitSleepsInTheEventLoop)
{
    for (const bool with_meanwhile : {false, true}) {
        SCOPED_TRACE(with_meanwhile);
        int turns = 0, meanwhile = 0;
        auto* dispatcher = QAbstractEventDispatcher::instance();
        const auto count = [&] { ++turns; };
        const QMetaObject::Connection woke =
            QObject::connect(dispatcher, &QAbstractEventDispatcher::awake, count);
        const QMetaObject::Connection blocks =
            QObject::connect(dispatcher, &QAbstractEventDispatcher::aboutToBlock, count);
        bool handled = false;
        QTimer::singleShot(300, [&] { handled = true; });
        QElapsedTimer waited;
        waited.start();
        qrv::QtClock().wait_handling_events(
            1000, with_meanwhile ? qrv::Meanwhile([&] { ++meanwhile; }) : qrv::Meanwhile());
        QObject::disconnect(woke);
        QObject::disconnect(blocks);
        EXPECT_TRUE(handled);
        EXPECT_GE(waited.elapsed(), 1000);
        // A loaded machine may run fewer turns, never more.
        EXPECT_LE(meanwhile, with_meanwhile ? 40 : 0);
        EXPECT_GE(meanwhile, with_meanwhile ? 5 : 0);
        EXPECT_LT(turns, 50 + 3 * meanwhile);
    }
}
