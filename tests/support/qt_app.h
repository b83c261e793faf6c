// One QApplication for a whole test program, made before the first test and
// destroyed after the last. Include it in every test file that makes widgets.
#pragma once

#include <QApplication>
#include <gtest/gtest.h>
#include <memory>

namespace qrv::test {

class QtAppEnvironment : public ::testing::Environment {
public:
    void SetUp() override
    {
        qputenv("QT_QPA_PLATFORM", "offscreen");
        m_app = std::make_unique<QApplication>(m_argc, m_argv);
    }
    void TearDown() override { m_app.reset(); }

private:
    int m_argc = 1;
    char m_name[8] = "tests";
    char* m_argv[2] = {m_name, nullptr};
    std::unique_ptr<QApplication> m_app;
};

inline ::testing::Environment* const qt_app_environment =
    ::testing::AddGlobalTestEnvironment(new QtAppEnvironment);

} // namespace qrv::test
