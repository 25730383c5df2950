#include <gtest/gtest.h>

#include <sys/stat.h>

#include "platform/Desktop.h"
#include "support/TestSupport.h"

namespace {

// A PATH that holds only a fake `xdg-user-dir` printing `answer`, and the shell.
class FakeUserDirs {
 public:
  explicit FakeUserDirs(const std::string& answer) : path_("PATH", dir_.path() + ":/bin:/usr/bin") {
    std::string script = dir_.File("xdg-user-dir");
    zeltest::WriteFile(script, "#!/bin/sh\necho '" + answer + "'\necho noise >&2\n");
    ::chmod(script.c_str(), 0755);
  }

 private:
  zeltest::TempDir dir_;
  zeltest::ScopedEnv path_;
};

TEST(DesktopTest, DocumentsFolderTakesTheHomeFolderAnswerAsNoneSet) {
  zeltest::ScopedEnv home("HOME", "/home/tester");
  {
    FakeUserDirs dirs("/home/tester/Dokumente/");
    EXPECT_EQ(zel::DocumentsFolder(), "/home/tester/Dokumente");
  }
  {
    FakeUserDirs dirs("/home/tester");
    EXPECT_EQ(zel::DocumentsFolder(), "/home/tester/Documents");
  }
  {
    FakeUserDirs dirs("relative/answer");
    EXPECT_EQ(zel::DocumentsFolder(), "/home/tester/Documents");
  }
}

TEST(DesktopTest, TempFolderEndsInASlash) {
  {
    zeltest::ScopedEnv tmp("TMPDIR", "/var/tmp/x");
    EXPECT_EQ(zel::TempFolder(), "/var/tmp/x/");
  }
  zeltest::ScopedEnv tmp("TMPDIR", "");
  EXPECT_EQ(zel::TempFolder(), "/tmp/");
}

TEST(DesktopTest, RunProgramFindsCapturesAndReportsTheStatus) {
  std::string out;
  EXPECT_EQ(zel::RunProgram({"sh", "-c", "echo hello; echo hidden >&2; exit 3"}, &out, true), 3);
  EXPECT_EQ(out, "hello\n");
  EXPECT_EQ(zel::RunProgram({"sh", "-c", "kill -TERM $$"}), 128 + 15);
  EXPECT_EQ(zel::RunProgram({"no-such-program-anywhere"}), -1);
  EXPECT_EQ(zel::RunProgram({"/no/such/program"}), 127);
}

}  // namespace
