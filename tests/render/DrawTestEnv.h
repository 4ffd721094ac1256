// A QGuiApplication on the offscreen platform with the project's own fontconfig file, so text
// pictures are the same on every machine that ran the install script.
#pragma once

#include <QGuiApplication>
#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>

namespace zovtest {

class DrawEnvironment : public ::testing::Environment {
  public:
    void SetUp() override {
        setenv("FONTCONFIG_FILE", ZOV_SOURCE_DIR "/tests/render/fonts.conf", 1);
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
        static int argc = 1;
        static char name[] = "test_render";
        static char* argv[] = {name, nullptr};
        m_app = std::make_unique<QGuiApplication>(argc, argv);
    }
    void TearDown() override { m_app.reset(); }

  private:
    std::unique_ptr<QGuiApplication> m_app;
};

} // namespace zovtest
