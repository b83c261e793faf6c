#include "qt_clock.h"

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
