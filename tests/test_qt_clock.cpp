#include "qt_clock.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QElapsedTimer>
#include <QLocale>
#include <QTimer>
#include <gtest/gtest.h>

TEST(DelayMs, QuittingApplicationStillGetsTheWholeWait)
{
    QtClock clock;
    QTimer::singleShot(100, [] { QCoreApplication::exit(0); });
    QElapsedTimer t;
    t.start();
    clock.delay_ms(400);
    EXPECT_GE(t.elapsed(), 400);
    EXPECT_LT(t.elapsed(), 1400); // a wait begun again would do; a busy machine would not
    // A finished exec() clears the quit request for the tests that follow.
    QTimer::singleShot(0, [] { QCoreApplication::exit(0); });
    QCoreApplication::exec();
}

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
        EXPECT_EQ(time_format_without_zone(row.format), row.expected) << row.format;

    // The real clock in this process's locale, whose long time names the zone.
    QtClock clock;
    const QDateTime now = QDateTime::currentDateTime();
    const QString text = QString::fromStdString(clock.date_time_text());
    ASSERT_TRUE(QLocale::system().timeFormat(QLocale::LongFormat).contains('t'));
    EXPECT_TRUE(text.startsWith(QLocale::system().toString(now.date(), QLocale::ShortFormat) + ' '))
        << text.toStdString();
    EXPECT_FALSE(text.contains(now.timeZoneAbbreviation())) << text.toStdString();
    EXPECT_EQ(clock.date_text(), now.toString("yyyy-MM-dd").toStdString());
}
