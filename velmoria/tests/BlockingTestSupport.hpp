#pragma once

#include <QApplication>
#include <cstdlib>
#include <filesystem>
#include <memory>

#include "platform/MainScheduler.hpp"
#include "platform/MemoryDefaults.hpp"
#include "platform/ScriptRunner.hpp"
#include "platform/Workspace.hpp"
#include "platform/desktop/ShieldWindows.hpp"
#include "testsupport/ScratchFolder.hpp"

namespace velmoria::testing {

// One QApplication for the whole test program (widgets need it; offscreen in CTest).
inline QApplication& app() {
  // Tests draw offscreen unless a run asks for a real display.
  ::setenv("QT_QPA_PLATFORM", "offscreen", /*overwrite=*/0);
  static int argc = 1;
  static char name[] = "velmoria_tests";
  static char* argv[] = {name, nullptr};
  static QApplication* instance = QApplication::instance() ? nullptr : new QApplication(argc, argv);
  (void)instance;
  return *qApp;
}

// The output folder for screenshots: $VELMORIA_TEST_OUTPUT, else the system temp folder.
inline std::filesystem::path testOutput() {
  const char* env = std::getenv("VELMORIA_TEST_OUTPUT");
  std::filesystem::path dir = env && *env ? env : std::filesystem::temp_directory_path();
  std::filesystem::create_directories(dir);
  return dir;
}

}  // namespace velmoria::testing
