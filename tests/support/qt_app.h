// One application object for a whole test program, made before the first
// test and destroyed after the last. Widget tests include this header as it
// is; a test without widgets registers AppEnvironment<QCoreApplication>.
#pragma once

#include <QByteArray>
#include <gtest/gtest.h>
#include <memory>

namespace qrv::test {

template <typename App> class AppEnvironment : public ::testing::Environment {
public:
    void SetUp() override
    {
        qputenv("QT_QPA_PLATFORM", "offscreen");
        m_app = std::make_unique<App>(m_argc, m_argv);
    }
    void TearDown() override { m_app.reset(); }

private:
    int m_argc = 1;
    char m_name[8] = "tests";
    char* m_argv[2] = {m_name, nullptr};
    std::unique_ptr<App> m_app;
};

} // namespace qrv::test

#ifndef QRV_TEST_CORE_APP_ONLY
#include <QApplication>

namespace qrv::test {
inline ::testing::Environment* const qt_app_environment =
    ::testing::AddGlobalTestEnvironment(new AppEnvironment<QApplication>);
} // namespace qrv::test
#endif
