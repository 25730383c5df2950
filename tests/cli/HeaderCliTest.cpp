#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "recording/RecordingBuilder.h"
#include "support/FaultFiles.h"
#include "support/TestSupport.h"

namespace {

using zeltest::HeaderFields;

const char kEnv[] = "LC_ALL=C TZ=UTC0";

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    lines.push_back(text.substr(start, end - start));
    start = end + 1;
  }
  return lines;
}

class CliTest : public ::testing::Test {
 protected:
  std::string Write(const std::string& name, const std::string& bytes) {
    std::string path = files.File(name);
    zeltest::WriteFile(path, bytes);
    return path;
  }
  zeltest::XdgSandbox sandbox;  // never the user's own settings
  zeltest::TempDir files;
};

TEST_F(CliTest, InfoPrintsOneObjectPerFile) {
  HeaderFields f;
  f.callerId = "M\xfcller \"quoted\"";
  f.comment = "x<bookmark><bstart>00:00:07</bstart><bend>00:01:00</bend><bookmark>";
  f.siteCode = "VLUK";
  f.auxDuration = 3725;
  f.duration = 61;
  std::string good = Write("4711-20120315 101500.zel", zeltest::BuildPlainFile(f, "audio"));
  std::string missing = files.File("missing.zel");
  auto r = zeltest::RunZelctl({"info", good, missing}, kEnv);
  EXPECT_EQ(r.exitCode, 1) << r.err;
  auto lines = Lines(r.out);
  ASSERT_EQ(lines.size(), 2u) << r.out;
  const std::string& a = lines[0];
  for (const char* piece : {"\"result\":1440", "\"version\":4", "\"headerSize\":1440", "\"formatTag\":49",
                            "\"formatName\":\"GSM 06.10\"",
                            "\"important\":0", "\"callerId\":\"M\xc3\xbcller \\\"quoted\\\"\"",
                            "\"startTime\":1331806500", "\"localStartTime\":1331806500",
                            "\"dateTime\":\"03/15/12 10:15:00\"", "\"duration\":61", "\"durationText\":\"00:01:01\"",
                            "\"userId\":\"4711\"", "\"siteCode\":\"VLUK\"", "\"auxCode\":4294967295",
                            "\"auxDuration\":3725", "\"auxDurationText\":\"01:02:05\"", "\"encrypted\":false",
                            "\"bookmark\":{\"start\":7,\"end\":60}"}) {
    EXPECT_NE(a.find(piece), std::string::npos) << piece << "\n" << a;
  }
  EXPECT_EQ(a.front(), '{');
  EXPECT_EQ(a.back(), '}');
  EXPECT_NE(lines[1].find("\"result\":0"), std::string::npos);
  EXPECT_NE(lines[1].find("\"siteCode\":\"Load failed\""), std::string::npos);
  EXPECT_NE(lines[1].find("\"bookmark\":null"), std::string::npos);
  EXPECT_NE(r.err.find("missing.zel"), std::string::npos);
}

TEST_F(CliTest, InfoAndEntryOnEncryptedFiles) {
  HeaderFields f;
  f.callerId = "secret caller";
  std::string path = Write("enc-2012.zel", zeltest::BuildEncryptedFile(f, "0123456789abcdef", "pass word", 1));
  std::string passFile = Write("pass.txt", "pass word\r\nnext line\n");

  auto ok = zeltest::RunZelctl({"info", "--passphrase-file", passFile, path}, kEnv);
  EXPECT_EQ(ok.exitCode, 0) << ok.err;
  EXPECT_NE(ok.out.find("\"callerId\":\"secret caller\""), std::string::npos) << ok.out;
  EXPECT_NE(ok.out.find("\"encrypted\":true"), std::string::npos);

  auto wrong = zeltest::RunZelctl({"info", "--passphrase", "Pass word", path}, kEnv);
  EXPECT_EQ(wrong.exitCode, 1);
  EXPECT_NE(wrong.out.find("\"result\":0"), std::string::npos);
  EXPECT_NE(wrong.out.find("\"encrypted\":true"), std::string::npos);
  EXPECT_NE(wrong.err.find("decrypt"), std::string::npos);

  // The call opened with the passphrase is in the audit trail once, without its caller;
  // the refused attempt is not.
  auto trail = zeltest::RunZelctl({"audit", "show", "--json", "--path", path}, kEnv);
  const size_t decrypt = trail.out.find("\"action\":\"decrypt\"");
  EXPECT_NE(decrypt, std::string::npos) << trail.out;
  EXPECT_EQ(trail.out.find("\"action\":\"decrypt\"", decrypt + 1), std::string::npos) << trail.out;
  EXPECT_EQ(trail.out.find("secret caller"), std::string::npos) << trail.out;

  auto entry = zeltest::RunZelctl({"entry", "--passphrase", "pass word", path}, kEnv);
  EXPECT_EQ(entry.exitCode, 0) << entry.err;
  EXPECT_NE(entry.out.find("\"callerId\":\"secret caller\""), std::string::npos) << entry.out;
  EXPECT_NE(entry.out.find("\"userId\":\"4711\""), std::string::npos);
  EXPECT_NE(entry.out.find("\"encrypted\":true"), std::string::npos);

  auto bad = zeltest::RunZelctl({"entry", "--passphrase", "nope", path}, kEnv);
  EXPECT_EQ(bad.exitCode, 1);
  EXPECT_NE(bad.out.find("\"callerId\":\"Decryption error!\""), std::string::npos) << bad.out;
  EXPECT_NE(bad.out.find("\"encrypted\":true"), std::string::npos);
}

TEST_F(CliTest, EntryPrintsTheListColumns) {
  HeaderFields f;
  f.important = 1;
  f.duration = 3725;
  f.auxDuration = 5;
  f.auxCode = 3;
  f.comment = "Ruf zur\xfc" "ck";
  // Some audio after the header: a header alone is a call whose audio was archived.
  std::string path = Write("Zentrale-20120315 101500.zel", zeltest::BuildPlainFile(f, std::string(160, '\xd5')));
  auto r = zeltest::RunZelctl({"entry", "--passphrase", "", path}, kEnv);
  EXPECT_EQ(r.exitCode, 0) << r.err;
  auto lines = Lines(r.out);
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(lines[0],
            "{\"path\":" + std::string("\"") + path +
                "\",\"userId\":\"4711\",\"callerId\":\"0123 456789\",\"dateTime\":\"03/15/12 10:15:00\","
                "\"duration\":3725,\"durationText\":\"01:02:05\",\"startTime\":1331806500,"
                "\"comment\":\"Ruf zur\xc3\xbc" "ck\",\"important\":true,\"hasBookmark\":false,\"encrypted\":false,"
                "\"auxCode\":3,\"auxDurationText\":\"00:00:05\"}");
}

TEST_F(CliTest, UsageErrors) {
  for (std::string command : {"info", "entry"}) {
    auto none = zeltest::RunZelctl({command}, kEnv);
    EXPECT_EQ(none.exitCode, 2) << command;
    EXPECT_NE(none.err.find("usage"), std::string::npos);
    EXPECT_TRUE(none.out.empty());
    EXPECT_EQ(zeltest::RunZelctl({command, "--bogus", "x.zel"}, kEnv).exitCode, 2);
    // An unreadable passphrase file is a file that cannot be read, not wrong usage.
    auto noPassFile = zeltest::RunZelctl({command, "--passphrase-file", files.File("none"), "x.zel"}, kEnv);
    EXPECT_EQ(noPassFile.exitCode, 1);
    EXPECT_TRUE(noPassFile.out.empty());
  }
}

TEST_F(CliTest, ASpecialFileNamedLikeARecordingIsRefusedAtOnce) {
  std::string fifo = files.File("call.zel");
  ASSERT_TRUE(zeltest::MakeFifo(fifo));
  std::string out = files.File("out.raw");
  // Each would block forever on the FIFO; `timeout` would end it with 124.
  std::vector<std::vector<std::string>> commands = {
      {"info", "--passphrase", "", fifo},
      {"entry", "--passphrase", "", fifo},
      {"pcm", fifo, "-o", out, "--passphrase", ""},
      {"annotate", fifo, "--comment", "x", "--passphrase", ""},
  };
  for (const auto& command : commands) {
    auto r = zeltest::RunZelctl(command, "timeout 10");
    EXPECT_EQ(r.exitCode, 1) << command[0];
  }
  // A search of it alone finds no recording.
  auto search = zeltest::RunZelctl({"search", "--dates", "all", fifo}, "timeout 10");
  EXPECT_EQ(search.exitCode, 1);
  EXPECT_NE(search.err.find("No recordings found"), std::string::npos) << search.err;
  EXPECT_NE(zeltest::RunZelctl({"info", "--passphrase", "", fifo}).err.find("not a regular file"), std::string::npos);
}

TEST_F(CliTest, JsonKeepsAPathThatIsNotUtf8AsHex) {
  std::string bytes = zeltest::BuildPlainFile(HeaderFields(), "");
  std::string fine = Write("caf\xc3\xa9.zel", bytes);
  std::string surrogate = Write("x\xed\xa0\x80.zel", bytes);  // looks well-formed, is not UTF-8
  auto r = zeltest::RunZelctl({"info", "--passphrase", "", fine, surrogate}, kEnv);
  ASSERT_EQ(r.exitCode, 0) << r.err;
  auto lines = Lines(r.out);
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0].find("pathHex"), std::string::npos) << lines[0];
  std::string hex;
  for (unsigned char c : surrogate) hex += "0123456789abcdef"[c >> 4] + std::string(1, "0123456789abcdef"[c & 15]);
  EXPECT_NE(lines[1].find("\"pathHex\":\"" + hex + "\""), std::string::npos) << lines[1];
  EXPECT_EQ(lines[1].find("\xed"), std::string::npos);  // the text itself stays valid UTF-8
}

}  // namespace
