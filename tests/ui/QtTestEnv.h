// One QApplication for a whole test binary, on the offscreen platform, made before the
// first test runs (gtest's main comes from the library).
#pragma once

#include <QApplication>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <functional>
#include <gtest/gtest.h>

namespace zovtest {

class QtEnvironment : public ::testing::Environment {
  public:
    void SetUp() override {
        qputenv("QT_QPA_PLATFORM", "offscreen");
        static int argc = 1;
        static char name[] = "zov-ui-test";
        static char* argv[] = {name, nullptr};
        m_app = new QApplication(argc, argv);
        QApplication::setQuitOnLastWindowClosed(false);
    }
    void TearDown() override {
        delete m_app;
        m_app = nullptr;
    }

  private:
    QApplication* m_app = nullptr;
};

// Processes events until `done` holds; false when it still does not after `timeoutMs` (a
// bound on a hang, not a pacing: the check runs after every event batch).
inline bool WaitUntil(const std::function<bool()>& done, int timeoutMs = 20000) {
    QElapsedTimer t;
    t.start();
    while (!done()) {
        if (t.elapsed() > timeoutMs)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents, 50);
    }
    return true;
}

} // namespace zovtest
