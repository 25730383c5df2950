#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <filesystem>

#include "core/AtomicFile.h"
#include "core/CopyFileReplacing.h"
#include "core/Cp1252.h"
#include "support/TestSupport.h"

namespace {

size_t FilesIn(const std::string& folder) {
  size_t n = 0;
  for (auto& entry : std::filesystem::directory_iterator(folder)) {
    (void)entry;
    ++n;
  }
  return n;
}

TEST(AtomicFileTest, ReplacesTheWholeFileAndLeavesNoTemporary) {
  zeltest::TempDir dir;
  std::string path = dir.File("data.txt");
  ASSERT_TRUE(zel::WriteFileAtomically(path, "first version, rather long"));
  ASSERT_TRUE(zel::WriteFileAtomically(path, "second"));
  EXPECT_EQ(zeltest::ReadFile(path), "second");
  EXPECT_EQ(FilesIn(dir.path()), 1u);
}

TEST(AtomicFileTest, AnAbandonedWriteLeavesTheOldFile) {
  zeltest::TempDir dir;
  std::string path = dir.File("data.txt");
  ASSERT_TRUE(zel::WriteFileAtomically(path, "old content"));
  {
    zel::AtomicFile file(path);
    ASSERT_TRUE(file.Open());
    ASSERT_TRUE(file.Write("half of the n", 13));
    // Destroyed without Commit, as when a writer fails or the program dies.
  }
  EXPECT_EQ(zeltest::ReadFile(path), "old content");
  EXPECT_EQ(FilesIn(dir.path()), 1u);
}

TEST(AtomicFileTest, KeepsTheModeOfAnExistingFileUnlessForced) {
  zeltest::TempDir dir;
  std::string path = dir.File("mode.txt");
  ASSERT_TRUE(zel::WriteFileAtomically(path, "a", 0640));
  struct stat st {};
  ::stat(path.c_str(), &st);
  EXPECT_EQ(st.st_mode & 0777, 0640u);
  ASSERT_TRUE(zel::WriteFileAtomically(path, "b", 0644));
  ::stat(path.c_str(), &st);
  EXPECT_EQ(st.st_mode & 0777, 0640u);
  ASSERT_TRUE(zel::WriteFileAtomically(path, "c", 0600, true));
  ::stat(path.c_str(), &st);
  EXPECT_EQ(st.st_mode & 0777, 0600u);
}

TEST(AtomicFileTest, MissingFolderFailsCleanly) {
  zeltest::TempDir dir;
  EXPECT_FALSE(zel::WriteFileAtomically(dir.File("no/such/folder/x"), "x"));
  std::string content = "unchanged";
  EXPECT_FALSE(zel::ReadWholeFile(dir.File("absent"), content));
}

// A stop, Ctrl+C or a closed terminal removes the temporary file of a write.
TEST(AtomicFileTest, SignalsRemoveTheTemporaryFile) {
  for (int signal : {SIGINT, SIGTERM, SIGHUP}) {
    zeltest::TempDir dir;
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      zel::AtomicFile file(dir.File("call.wav"));
      if (!file.Open() || !file.Write("RIFF", 4)) _exit(3);
      zel::RemoveTemporaryFilesOnSignals();
      raise(signal);
      _exit(4);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == signal) << status;
    EXPECT_TRUE(std::filesystem::is_empty(dir.path())) << signal;
  }
}

// The copying process dies part-way (the file-size limit kills it like kill -9).
TEST(CopyFileReplacingTest, AKilledCopyNeverLeavesAShortFileUnderTheFinalName) {
  zeltest::TempDir dir;
  const std::string source = dir.File("big.zel");
  zeltest::WriteFile(source, std::string(1001440, 'x'));
  const std::string target = dir.File("copy.zel");
  pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    struct rlimit none {0, 0}, small {65536, 65536};
    ::setrlimit(RLIMIT_CORE, &none);
    ::signal(SIGXFSZ, SIG_DFL);
    ::setrlimit(RLIMIT_FSIZE, &small);
    zel::CopyFileReplacing(source, target, 0, nullptr);
    ::_exit(0);
  }
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFSIGNALED(status));
  EXPECT_FALSE(zeltest::FileExists(target));
  // A complete copy still lands under the name.
  ASSERT_TRUE(zel::CopyFileReplacing(source, target, 0, nullptr));
  EXPECT_EQ(std::filesystem::file_size(target), 1001440u);
}

TEST(Cp1252Test, ConvertsBothWays) {
  const std::string cp1252 = "Caf\xE9 \x80 \x93quoted\x94 \xDF";
  const std::string utf8 = "Caf\xC3\xA9 \xE2\x82\xAC \xE2\x80\x9Cquoted\xE2\x80\x9D \xC3\x9F";
  EXPECT_EQ(zel::Cp1252ToUtf8(cp1252), utf8);
  EXPECT_EQ(zel::Utf8ToCp1252(utf8), cp1252);
  // Long ASCII runs (a header's comment) with the first other byte late or last.
  const std::string ascii(1001, 'c');
  EXPECT_EQ(zel::Cp1252ToUtf8(ascii), ascii);
  EXPECT_EQ(zel::Cp1252ToUtf8(ascii + "\x80x\x81"), ascii + "\xE2\x82\xACx\xC2\x81");
  EXPECT_EQ(zel::Cp1252ToUtf8(ascii.substr(0, 16) + "\xFF"), ascii.substr(0, 16) + "\xC3\xBF");
}

TEST(Cp1252Test, EveryByteRoundTrips) {
  std::string all;
  for (int c = 1; c < 256; ++c) all += static_cast<char>(c);
  EXPECT_EQ(zel::Utf8ToCp1252(zel::Cp1252ToUtf8(all)), all);
}

TEST(Cp1252Test, UnrepresentableAndInvalidTextBecomesQuestionMarks) {
  EXPECT_EQ(zel::Utf8ToCp1252("\xE4\xB8\xAD x"), "? x");           // a CJK character
  EXPECT_EQ(zel::Utf8ToCp1252("\xF0\x9F\x98\x80"), "?");           // an emoji
  EXPECT_EQ(zel::Utf8ToCp1252("a\xFF" "b"), "a?b");                 // not UTF-8
  EXPECT_EQ(zel::Utf8ToCp1252("truncated \xC3"), "truncated ?");
}

}  // namespace
