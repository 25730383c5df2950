#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>

#include "organiser/CSearchManager.h"
#include "tests/organiser/OrganiserTestSupport.h"

using orgtest::Recording;
using orgtest::WriteRecording;
using zeltest::RunZelctl;

namespace {

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

class SearchCliTest : public ::testing::Test {
 protected:
  void SetUp() override {
    Recording r;
    r.callerId = ">0301";
    r.startTime = 1700000000;
    r.duration = 30;
    WriteRecording(dir_.File("a-2023.zel"), r);
    r.callerId = "<0402";
    r.startTime = 1700000300;
    r.duration = 150;
    r.important = 1;
    r.comment = "Refund asked";
    WriteRecording(dir_.File("b-2023.zel"), r);
    r.comment.clear();
    mkdir(dir_.File("sub").c_str(), 0755);
    r.callerId = ">0503";
    r.startTime = 1700000100;
    r.duration = 3600;
    r.important = 0;
    WriteRecording(dir_.File("sub/c-2023.zel"), r);
  }
  zeltest::XdgSandbox sandbox_;
  zeltest::TempDir dir_;
};

TEST_F(SearchCliTest, SearchPrintsEntriesAndSummary) {
  auto result = RunZelctl({"search", "--dates", "all", "--subfolders", "--json", dir_.path()});
  ASSERT_EQ(result.exitCode, 0) << result.err;
  auto lines = Lines(result.out);
  ASSERT_EQ(lines.size(), 4u) << result.out;
  // Newest first by default.
  EXPECT_NE(lines[0].find("b-2023.zel"), std::string::npos);
  EXPECT_NE(lines[1].find("c-2023.zel"), std::string::npos);
  EXPECT_NE(lines[2].find("a-2023.zel"), std::string::npos);
  EXPECT_EQ(lines[3],
            "{\"summary\":{\"calls\":3,\"important\":1,\"duration\":\"01:03:00\",\"failed\":false,\"total\":3,"
            "\"processed\":3}}");

  result = RunZelctl({"search", "--dates", "all", "--subfolders", "--caller", ">0", "--sort", "caller",
                      "--ascending", dir_.path()});
  ASSERT_EQ(result.exitCode, 0) << result.err;
  lines = Lines(result.out);
  ASSERT_EQ(lines.size(), 4u) << result.out;
  EXPECT_EQ(lines[0].rfind("ENC ! User ID", 0), 0u);
  EXPECT_NE(lines[1].find(">0301"), std::string::npos);
  EXPECT_NE(lines[2].find(">0503"), std::string::npos);
  EXPECT_EQ(lines[3], "Calls: 2   Important: 0   Duration: 01:00:30");

  result = RunZelctl({"search", "--dates", "all", "--min-minutes", "1", "--json", dir_.path()});
  ASSERT_EQ(result.exitCode, 0) << result.err;
  EXPECT_EQ(Lines(result.out).size(), 2u) << result.out;  // only b, no subfolders

  result = RunZelctl({"search", "--dates", "all", "--subfolders", "--comment", "REFUND", "--json", dir_.path()});
  ASSERT_EQ(result.exitCode, 0) << result.err;
  lines = Lines(result.out);
  ASSERT_EQ(lines.size(), 2u) << result.out;
  EXPECT_NE(lines[0].find("b-2023.zel"), std::string::npos);
}

// A header or a file name must not steer the terminal: control bytes show as \xNN.
TEST_F(SearchCliTest, ControlCharactersAreShownEscaped) {
  Recording r;
  r.callerId = "\x1b]0;title\x07";
  r.comment = "hid\x1b[2Jden";
  WriteRecording(dir_.File("sub/x.zel"), r);
  auto result = RunZelctl({"search", "--dates", "all", dir_.File("sub")});
  ASSERT_EQ(result.exitCode, 0) << result.err;
  auto missing = RunZelctl({"info", dir_.File("no\x1b[2J")});
  for (const std::string& text : {result.out, missing.err}) {
    for (char c : text) EXPECT_TRUE(c == '\n' || static_cast<unsigned char>(c) >= 0x20) << text;
  }
  EXPECT_NE(result.out.find("\\x1b]0;title\\x07"), std::string::npos) << result.out;
  EXPECT_NE(result.out.find("hid\\x1b[2Jden"), std::string::npos) << result.out;
  EXPECT_NE(missing.err.find("no\\x1b[2J"), std::string::npos) << missing.err;
}

// Folders the walk leaves out are said on stderr.
TEST_F(SearchCliTest, LinkedAndTooDeepFoldersAreSaid) {
  std::string deep = dir_.File("deep");
  for (int i = 0; i <= zel::kMaxSearchDepth; ++i) deep += "/d";
  std::filesystem::create_directories(deep);
  std::filesystem::create_directory_symlink(dir_.File("sub"), dir_.File("link"));
  auto result = RunZelctl({"search", "--dates", "all", "--subfolders", "--json", dir_.path()});
  ASSERT_EQ(result.exitCode, 0) << result.err;
  EXPECT_NE(result.err.find("1 linked folder(s) not searched"), std::string::npos) << result.err;
  EXPECT_NE(result.err.find("1 folder(s) deeper than 256 levels not searched"), std::string::npos) << result.err;
  result = RunZelctl({"search", "--dates", "all", "--subfolders", "--json", dir_.File("sub")});
  EXPECT_EQ(result.err, "");
}

TEST_F(SearchCliTest, SearchFailuresAndUsage) {
  mkdir(dir_.File("empty").c_str(), 0755);
  auto result = RunZelctl({"search", dir_.File("empty")});
  EXPECT_EQ(result.exitCode, 1);
  EXPECT_NE(result.err.find("No recordings found which match your specified criteria."), std::string::npos);
  result = RunZelctl({"search", dir_.File("missing")});
  EXPECT_EQ(result.exitCode, 1);
  EXPECT_EQ(RunZelctl({"search", "--dates", "soon", dir_.path()}).exitCode, 2);
  EXPECT_EQ(RunZelctl({"search", "--dates", "range", "--from", "2023-11-14", dir_.path()}).exitCode, 2);
  EXPECT_EQ(RunZelctl({"search", "--from", "2023-13-01", "--to", "2023-11-14", dir_.path()}).exitCode, 2);
  EXPECT_EQ(RunZelctl({"search", "--sort", "size", dir_.path()}).exitCode, 2);
  EXPECT_EQ(RunZelctl({"search"}).exitCode, 2);
}

TEST_F(SearchCliTest, CatalogueAnswersAsTheWalkAndIsMaintained) {
  const std::vector<std::string> search = {"search", "--dates", "all", "--subfolders", "--json", dir_.path()};
  auto walked = search;
  walked.insert(walked.begin() + 1, "--no-catalogue");
  const auto expected = RunZelctl(walked);
  ASSERT_EQ(expected.exitCode, 0) << expected.err;
  EXPECT_EQ(RunZelctl(search).out, expected.out);  // building the catalogue
  EXPECT_EQ(RunZelctl(search).out, expected.out);  // answering from it
  auto status = RunZelctl({"catalogue", "--json", "status"});
  ASSERT_EQ(status.exitCode, 0) << status.err;
  EXPECT_NE(status.out.find("\"folders\":2,\"recordings\":3,"), std::string::npos) << status.out;
  EXPECT_NE(status.out.find("\"missing\":false"), std::string::npos) << status.out;
  std::filesystem::rename(dir_.File("sub"), dir_.File("moved"));
  auto refreshed = RunZelctl({"catalogue", "refresh"});
  EXPECT_EQ(refreshed.exitCode, 0) << refreshed.err;
  EXPECT_NE(refreshed.out.find("folders: 2\nrecordings: 3\n"), std::string::npos) << refreshed.out;
  EXPECT_EQ(RunZelctl({"catalogue", "forget", dir_.path()}).exitCode, 0);
  EXPECT_NE(RunZelctl({"catalogue", "status"}).out.find("recordings: 0\n"), std::string::npos);
  EXPECT_EQ(RunZelctl({"catalogue", "forget", dir_.path()}).exitCode, 1);
  for (auto usage : {std::vector<std::string>{"catalogue"}, {"catalogue", "status", "x"}, {"catalogue", "forget"},
                     {"catalogue", "tidy"}}) {
    EXPECT_EQ(RunZelctl(usage).exitCode, 2) << usage.back();
  }
}

TEST_F(SearchCliTest, SavedSearchListsAgain) {
  const std::string list = dir_.File("out.reclist");
  auto result = RunZelctl({"search", "--dates", "all", "--subfolders", "--save", list, "--json", dir_.path()});
  ASSERT_EQ(result.exitCode, 0) << result.err;
  auto listed = RunZelctl({"list", list, "--json"});
  ASSERT_EQ(listed.exitCode, 0) << listed.err;
  auto searchLines = Lines(result.out);
  auto listLines = Lines(listed.out);
  ASSERT_EQ(listLines.size(), 4u);
  for (int i = 0; i < 3; ++i) EXPECT_EQ(listLines[i], searchLines[i]);
  EXPECT_NE(zeltest::ReadFile(list).find("   <Folder>" + dir_.path() + "</Folder>\r\n"), std::string::npos);

  zeltest::WriteFile(dir_.File("bad.reclist"), "<root>\r\n<rec>x</red>\r\n</root>\r\n");
  auto bad = RunZelctl({"list", dir_.File("bad.reclist")});
  EXPECT_EQ(bad.exitCode, 1);
  EXPECT_NE(bad.err.find("Error parsing file " + dir_.File("bad.reclist") + ".\n\nLine 2, Column 7. Error 4:"),
            std::string::npos)
      << bad.err;
  EXPECT_EQ(RunZelctl({"list"}).exitCode, 2);
}

TEST_F(SearchCliTest, StoresPrint) {
  auto hot = RunZelctl({"hotlists", "--json"});
  ASSERT_EQ(hot.exitCode, 0);
  auto lines = Lines(hot.out);
  ASSERT_EQ(lines.size(), 5u);
  EXPECT_EQ(lines[1], "{\"id\":1,\"parentId\":0,\"name\":\"Important Calls\",\"target\":\"\",\"isGroup\":true}");
  auto tree = RunZelctl({"shortcuts"});
  EXPECT_EQ(tree.out, "Shortcuts to Sources../\n");
  auto history = RunZelctl({"history", "--json"});
  ASSERT_EQ(history.exitCode, 0);
  EXPECT_EQ(Lines(history.out).size(), 1u);  // only the summary
  EXPECT_EQ(RunZelctl({"history", "extra"}).exitCode, 2);
}

}  // namespace
