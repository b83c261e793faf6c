#include "qt_app.h"
#include "qt_clock.h"

#include <QElapsedTimer>
#include <QTimer>
#include <gtest/gtest.h>
#include <sys/resource.h>

namespace {

double cpu_seconds()
{
    rusage use{};
    getrusage(RUSAGE_SELF, &use);
    return static_cast<double>(use.ru_utime.tv_sec + use.ru_stime.tv_sec) +
           static_cast<double>(use.ru_utime.tv_usec + use.ru_stime.tv_usec) / 1e6;
}

} // namespace

TEST(DelayMs, WaitsTheTimeWhileHandlingEventsAndSleeping)
{
    QtClock clock;
    int handled = 0;
    QTimer::singleShot(100, [&] { ++handled; });
    QTimer::singleShot(500, [&] { ++handled; });
    QElapsedTimer t;
    t.start();
    const double cpu_before = cpu_seconds();
    clock.delay_ms(1000);
    const qint64 took = t.elapsed();
    EXPECT_EQ(handled, 2);
    EXPECT_GE(took, 1000);
    EXPECT_LT(took, 1030);
    // It sleeps in the event loop rather than polling the clock.
    EXPECT_LT(cpu_seconds() - cpu_before, 0.1);
}

TEST(DelayMs, NoWaitHandlesNoEvent)
{
    QtClock clock;
    for (const int ms : {0, -1, -2147483647 - 1}) {
        bool handled = false;
        QTimer::singleShot(0, [&] { handled = true; });
        clock.delay_ms(ms);
        EXPECT_FALSE(handled) << ms;
        QCoreApplication::processEvents();
    }
}

TEST(DelayMs, QuittingApplicationStillGetsTheWholeWait)
{
    QtClock clock;
    QTimer::singleShot(100, [] { QCoreApplication::exit(0); });
    QElapsedTimer t;
    t.start();
    clock.delay_ms(400);
    EXPECT_GE(t.elapsed(), 400);
    EXPECT_LT(t.elapsed(), 450);
    // A finished exec() clears the quit request for the tests that follow.
    QTimer::singleShot(0, [] { QCoreApplication::exit(0); });
    QCoreApplication::exec();
    bool handled = false;
    QTimer::singleShot(10, [&] { handled = true; });
    clock.delay_ms(50);
    EXPECT_TRUE(handled);
}

TEST(QtClock, TimeFormatLosesOnlyItsZone)
{
    struct Row {
        const char* format;
        const char* expected;
    } rows[] = {
        {"HH:mm:ss t", "HH:mm:ss"},          {"h:mm:ss AP t", "h:mm:ss AP"},
        {"HH'h'mm:ss tttt", "HH'h'mm:ss"},   {"t HH:mm:ss", "HH:mm:ss"},
        {"HH:mm:ss 'at' ", "HH:mm:ss 'at'"},
    };
    for (const auto& row : rows)
        EXPECT_EQ(time_format_without_zone(row.format), row.expected) << row.format;

    const std::string date = QtClock().date_text();
    ASSERT_EQ(date.size(), 10U);
    EXPECT_EQ(date[4], '-');
    EXPECT_EQ(date[7], '-');
}
