// The shell's tests drive the real application object on the offscreen platform,
// with private XDG folders (the support library's) and a private runtime folder so
// that the single-instance socket is the test's own.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <string>

#include "shell/CZelVelomarApp.h"

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  // Beside the support library's private XDG folders.
  std::string runtime = std::getenv("XDG_DATA_HOME") ? std::getenv("XDG_DATA_HOME") : "/tmp/zel";
  runtime = runtime.substr(0, runtime.rfind('/')) + "/runtime";
  ::mkdir(runtime.c_str(), 0700);
  ::setenv("XDG_RUNTIME_DIR", runtime.c_str(), 1);
  CZelVelomarApp app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
