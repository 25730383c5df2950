#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <filesystem>
#include <thread>

#include "core/AppIdentity.h"
#include "core/CKlXMLSettings.h"
#include "core/CSettings.h"
#include "core/FileLock.h"
#include "support/TestSupport.h"

namespace {

class SettingsTest : public ::testing::Test {
 protected:
  void SetUp() override { zel::ApplyStartupIdentity(); }

  std::string UserConfig() { return xdg_.ConfigHome() + "/Merovane/Ostrel Manager/Configuration/config.xml"; }
  std::string Shared(const std::string& name) {
    return xdg_.DataHome() + "/Merovane/Ostrel Manager/Configuration/" + name;
  }
  void WriteSettingsFile(const std::string& path, const std::string& body) {
    CSettings::SettingsFilePath(true, "x");  // creates the folders
    CSettings::SettingsFilePath(false, "x");
    CSettings::GlobalSettingsFilePath(true, "x");
    CSettings::GlobalSettingsFilePath(false, "x");
    zeltest::WriteFile(path, "<?xml version=\"1.0\"?>\n<profile version=\"1\">" + body + "</profile>\n");
  }
  static std::string Section(const std::string& keys) {
    return "<section name=\"settings\">" + keys + "</section>";
  }

  zeltest::XdgSandbox xdg_;
};

TEST_F(SettingsTest, NoFilesGiveTheDefaultsAndSaveWritesThem) {
  CSettings settings;
  settings.Load();
  const int widths[] = {40, 25, 100, 100, 58, 130, 100, 40, 225};
  for (int i = 0; i < 9; ++i) EXPECT_EQ(settings.GetColumnWidth(i), widths[i]);
  EXPECT_EQ(settings.GetColumnWidth(9), -1);
  EXPECT_EQ(settings.GetColumnWidth(-1), -1);
  EXPECT_EQ(settings.GetShowHistory(), 1);
  EXPECT_EQ(settings.GetSavePassphrase(), 0);
  EXPECT_EQ(settings.GetPassphrase(), "");
  EXPECT_FALSE(settings.IsExportBlocked());
  EXPECT_FALSE(settings.IsDeleteDisabled());
  EXPECT_EQ(settings.GetResourceFile(), "");

  settings.Save();
  std::string text = zeltest::ReadFile(UserConfig());
  EXPECT_NE(text.find("<profile version=\"1\">"), std::string::npos);
  EXPECT_NE(text.find("<section name=\"settings\">"), std::string::npos);
  size_t col0 = text.find("<Col0>40</Col0>");
  size_t col8 = text.find("<Col8>225</Col8>");
  size_t show = text.find("<ShowHistory>1</ShowHistory>");
  size_t save = text.find("<SavePassphrase>0</SavePassphrase>");
  size_t pass = text.find("<Passphrase");
  ASSERT_NE(col0, std::string::npos);
  EXPECT_LT(col0, col8);
  EXPECT_LT(col8, show);
  EXPECT_LT(show, save);
  EXPECT_LT(save, pass);
}

TEST_F(SettingsTest, SavedFileIsPrivateAndReloads) {
  {
    CSettings settings;
    settings.SetColumnWidth(3, 77);
    settings.SetColumnWidth(9, 5);  // ignored
    settings.SetShowHistory(0);
    settings.SetSavePassphrase(1);
    settings.SetPassphrase("  open sesame \t");
    EXPECT_EQ(settings.GetPassphrase(), "open sesame");
    settings.Save();
  }
  struct stat st {};
  ASSERT_EQ(::stat(UserConfig().c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);
  CSettings reloaded;
  reloaded.Load();
  EXPECT_EQ(reloaded.GetColumnWidth(3), 77);
  EXPECT_EQ(reloaded.GetShowHistory(), 0);
  EXPECT_EQ(reloaded.GetPassphrase(), "open sesame");
}

TEST_F(SettingsTest, PassphraseReadWhileAnotherThreadSetsItIsAlwaysWhole) {
  CSettings settings;
  const std::string first(40, 'a');  // beyond the short-string buffer: a torn read shows
  const std::string second(40, 'b');
  std::thread writer([&] {
    for (int i = 0; i < 20000; ++i) settings.SetPassphrase(i % 2 ? first : second);
  });
  int torn = 0;
  for (int i = 0; i < 20000; ++i) {
    std::string seen = settings.GetPassphrase();
    if (!seen.empty() && seen != first && seen != second) ++torn;
  }
  writer.join();
  EXPECT_EQ(torn, 0);
}

TEST_F(SettingsTest, ColumnsAreReadUntilTheFirstMissingOne) {
  WriteSettingsFile(UserConfig(), Section("<Col0>1</Col0><Col1>2</Col1><Col2>3</Col2><Col3>4</Col3>"
                                          "<Col5>99</Col5><ShowHistory>1</ShowHistory>"));
  CSettings settings;
  settings.Load();
  EXPECT_EQ(settings.GetColumnWidth(0), 1);
  EXPECT_EQ(settings.GetColumnWidth(3), 4);
  EXPECT_EQ(settings.GetColumnWidth(4), 58);
  EXPECT_EQ(settings.GetColumnWidth(5), 130);  // after the gap nothing is read
}

TEST_F(SettingsTest, MissingShowHistoryElementTurnsTheHistoryOff) {
  WriteSettingsFile(UserConfig(), Section("<Col0>10</Col0>"));
  CSettings settings;
  settings.Load();
  EXPECT_EQ(settings.GetShowHistory(), 0);
}

TEST_F(SettingsTest, TheSecondSectionNamedSettingsIsUsed) {
  WriteSettingsFile(UserConfig(),
                    "<section name=\"other\"><ShowHistory>5</ShowHistory></section>" +
                        Section("<ShowHistory>3</ShowHistory>"));
  CSettings settings;
  settings.Load();
  EXPECT_EQ(settings.GetShowHistory(), 3);
}

TEST_F(SettingsTest, PassphraseIsIgnoredWithoutSavePassphraseAndWrittenEmpty) {
  WriteSettingsFile(UserConfig(),
                    Section("<SavePassphrase>0</SavePassphrase><Passphrase>secret</Passphrase>"));
  CSettings settings;
  settings.Load();
  EXPECT_EQ(settings.GetPassphrase(), "");
  settings.SetPassphrase("typed this session");
  settings.Save();
  EXPECT_EQ(zeltest::ReadFile(UserConfig()).find("typed"), std::string::npos);
}

TEST_F(SettingsTest, GlobalSwitchesComeFromTheFolderGlobalSettingsSelects) {
  std::string userGlobal = xdg_.ConfigHome() + "/Merovane/Zel Config/Configuration/config.xml";
  std::string commonGlobal = xdg_.DataHome() + "/Merovane/Zel Config/Configuration/config.xml";
  WriteSettingsFile(userGlobal, Section("<BlockExport>1</BlockExport>"));
  WriteSettingsFile(commonGlobal, Section("<DisableDelete>1</DisableDelete>"));
  {
    CSettings settings;  // no global.xml: the user's folder
    settings.Load();
    EXPECT_TRUE(settings.IsExportBlocked());
    EXPECT_FALSE(settings.IsDeleteDisabled());
  }
  WriteSettingsFile(Shared("global.xml"), Section("<GlobalSettings>1</GlobalSettings>"));
  {
    CSettings settings;
    settings.Load();
    EXPECT_FALSE(settings.IsExportBlocked());
    EXPECT_TRUE(settings.IsDeleteDisabled());
  }
  WriteSettingsFile(Shared("global.xml"), Section("<GlobalSettings>2</GlobalSettings>"));
  {
    CSettings settings;  // 2 is treated like 0
    settings.Load();
    EXPECT_TRUE(settings.IsExportBlocked());
  }
}

TEST_F(SettingsTest, MalformedOrSectionlessFilesKeepTheDefaults) {
  CSettings::SettingsFilePath(false, "x");
  zeltest::WriteFile(UserConfig(), "<profile version=\"1\"><section name=\"settings\"><Col0>5");
  CSettings settings;
  settings.Load();
  EXPECT_EQ(settings.GetColumnWidth(0), 40);
  EXPECT_EQ(settings.GetShowHistory(), 1);
  WriteSettingsFile(UserConfig(), "<section name=\"nope\"><Col0>5</Col0></section>");
  settings.Load();
  EXPECT_EQ(settings.GetColumnWidth(0), 40);
}

TEST_F(SettingsTest, ResourceFileComesFromBranding) {
  WriteSettingsFile(Shared("branding.xml"), Section("<ResourceFile>ZelRes.so</ResourceFile>"));
  CSettings settings;
  EXPECT_EQ(settings.GetResourceFile(), "ZelRes.so");
}

TEST_F(SettingsTest, AFailedSaveLeavesTheOldFile) {
  {
    CSettings settings;
    settings.SetColumnWidth(0, 11);
    settings.Save();
  }
  std::string before = zeltest::ReadFile(UserConfig());
  ASSERT_FALSE(before.empty());
  // A child process saves with a file-size limit of a few bytes: the write fails
  // half-way, as on a full disk (this works for root too).
  pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    ::signal(SIGXFSZ, SIG_IGN);
    struct rlimit limit {16, 16};
    ::setrlimit(RLIMIT_FSIZE, &limit);
    CSettings settings;
    settings.SetColumnWidth(0, 22);
    settings.Save();
    ::_exit(0);
  }
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  EXPECT_EQ(zeltest::ReadFile(UserConfig()), before);
  // No temporary file is left beside it.
  size_t files = 0;
  for (auto& entry : std::filesystem::directory_iterator(
           xdg_.ConfigHome() + "/Merovane/Ostrel Manager/Configuration")) {
    if (entry.path() != zel::FileLock::LockPathOf(UserConfig())) ++files;
  }
  EXPECT_EQ(files, 1u);
}

TEST(XmlSettingsTest, ReadsWithDefaultsAndNullElements) {
  zeltest::TempDir dir;
  CKlXMLSettings xml;
  auto* root = xml.Create(dir.File("a.xml"), "profile", "1");
  auto* item = xml.AddElement(root, "item");
  xml.SetIntAttribute(item, "ID", 7);
  xml.AddIntText(xml.AddElement(item, "Number"), -42);
  xml.AddText(xml.AddElement(item, "Name"), "caf\xC3\xA9 & <more>");
  ASSERT_TRUE(xml.Save());

  CKlXMLSettings reader;
  std::string rootName, version;
  ASSERT_TRUE(reader.Load(dir.File("a.xml"), rootName, version));
  EXPECT_EQ(rootName, "profile");
  EXPECT_EQ(version, "1");
  auto* loaded = reader.FirstChild("item", reader.Root());
  int id = 0, number = 0;
  std::string name;
  EXPECT_TRUE(reader.GetIntAttribute(-1, loaded, "ID", id));
  EXPECT_EQ(id, 7);
  EXPECT_TRUE(reader.GetIntText(reader.FirstChild("Number", loaded), 0, number));
  EXPECT_EQ(number, -42);
  EXPECT_TRUE(reader.GetText("", reader.FirstChild("Name", loaded), name));
  EXPECT_EQ(name, "caf\xC3\xA9 & <more>");

  EXPECT_FALSE(reader.GetText("dflt", nullptr, name));
  EXPECT_EQ(name, "dflt");
  EXPECT_FALSE(reader.GetIntText(reader.FirstChild("Name", loaded), 9, number));
  EXPECT_EQ(number, 9);
  EXPECT_EQ(reader.NextSibling("item", loaded), nullptr);
  EXPECT_EQ(reader.AddElement(nullptr, "x"), nullptr);

  CKlXMLSettings empty;
  EXPECT_FALSE(empty.Save());
  EXPECT_EQ(empty.Root(), nullptr);
  EXPECT_FALSE(empty.Load(dir.File("missing.xml"), rootName, version));
}

}  // namespace
