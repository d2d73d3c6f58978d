#pragma once
// One QApplication for a whole test executable, on the offscreen platform unless the
// environment names another, made before the first test and ended after the last.
#include <gtest/gtest.h>

#include <QApplication>
#include <QStandardPaths>

namespace velmora::testing {

class QtEnvironment : public ::testing::Environment {
 public:
  void SetUp() override {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QStandardPaths::setTestModeEnabled(true);  // Qt's own settings (the colour chooser's) stay out of the user's
    app_ = new QApplication(argc_, argv_);
  }
  void TearDown() override { delete app_; }

 private:
  int argc_ = 1;
  char name_[16] = "velmora_tests";
  char* argv_[2] = {name_, nullptr};
  QApplication* app_ = nullptr;
};

inline const auto* const kQtEnvironment = ::testing::AddGlobalTestEnvironment(new QtEnvironment);

}  // namespace velmora::testing
