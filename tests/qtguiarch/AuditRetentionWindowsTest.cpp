#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QDateEdit>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTest>
#include <QTreeWidget>
#include <filesystem>
#include <tuple>

#include "Archive/CRetention.h"
#include "Archive/ui/CArchiveSettingsSheet.h"
#include "Archive/ui/CAuditTrailDlg.h"
#include "Archive/ui/CAuditTrailModel.h"
#include "Archive/ui/CRetentionSettings.h"
#include "core/AuditTrail.h"
#include "core/Singleton.h"
#include "recording/CRecordingWriter.h"
#include "support/TestSupport.h"

namespace {

std::string Shot(const std::string& name) { return QCoreApplication::applicationDirPath().toStdString() + "/" + name; }

TEST(AuditTrailWindowTest, ListsFiltersAndVerifiesTheTrail) {
  zeltest::TempDir dir;
  const std::string log = dir.File("audit.log");
  zel::AuditTrail trail(log);
  for (const auto& [time, path, caller] : std::vector<std::tuple<const char*, const char*, const char*>>{
           {"2026-11-30T08:00:00Z", "/calls/a.zel", "555"},
           {"2026-12-02T09:00:00Z", "/calls/b.zel", "555"},
           {"2026-12-03T10:00:00Z", "/other/a.zel", "777"}}) {
    zel::AuditRecord record;
    record.time = time, record.path = path, record.caller = caller, record.action = "play";
    ASSERT_TRUE(trail.Append(record));
  }
  CAuditTrailDlg dialog(nullptr, log);
  dialog.show();
  // path part, caller, since (empty: off) -> rows shown
  const std::vector<std::tuple<QString, QString, QString, int>> cases = {
      {"", "", "", 3}, {"a.zel", "", "", 2}, {"/calls/", "555", "", 2}, {"", "555", "2026-12-01", 1},
      {"", "", "2026-12-03", 1}, {"nothing", "", "", 0}};
  for (const auto& [path, caller, since, rows] : cases) {
    dialog.PathFilter()->setText(path);
    dialog.CallerFilter()->setText(caller);
    dialog.SinceBox()->setChecked(!since.isEmpty());
    if (!since.isEmpty()) dialog.SinceDate()->setDate(QDate::fromString(since, Qt::ISODate));
    dialog.Refresh();
    QTRY_VERIFY(!dialog.Busy());
    EXPECT_EQ(dialog.Model()->rowCount(), rows) << path.toStdString() << " " << caller.toStdString() << " " << since.toStdString();
  }
  dialog.Verify();
  QTRY_VERIFY(!dialog.Busy());
  EXPECT_EQ(dialog.VerifyResult()->text(), "The audit trail is intact: 3 lines.");

  std::string text = zeltest::ReadFile(log);
  text.replace(text.find("/calls/b.zel"), 12, "/calls/c.zel");
  zeltest::WriteFile(log, text);
  dialog.VerifyButton()->click();
  QTRY_VERIFY(!dialog.Busy());
  EXPECT_NE(dialog.VerifyResult()->text().indexOf("line 2 was changed"), -1) << dialog.VerifyResult()->text().toStdString();
  dialog.grab().save(QString::fromStdString(Shot("audit-trail.png")));
}

TEST(RetentionPageTest, SavesTheRuleAndPreviewsAnOldCall) {
  zeltest::TempDir dir;
  zeltest::ScopedMessages messages;
  std::filesystem::create_directories(dir.File("calls"));
  RecordingDescription old;
  old.userId = "old";
  old.startTime = 1300000000;  // 2011
  const std::string call = dir.File("calls/old.zel");
  auto pcm = CRecordingWriter::SynthesizeVoice(8000, 3);
  ASSERT_TRUE(CRecordingWriter::Write(call, old, pcm.data(), pcm.size()));

  CArchiveSettingsSheet sheet(CArchiveSettingsSheet::kRetentionPage);
  CRetentionSettings* page = sheet.RetentionPage();
  ASSERT_EQ(sheet.Tabs()->currentWidget(), page);
  page->folderPicker = [&](const QString&) { return QString::fromStdString(dir.File("calls")); };
  page->EnabledBox()->setChecked(true);
  page->DaysBox()->setValue(30);
  page->SecondsBox()->setValue(2);
  page->ActionBox()->setCurrentIndex(page->ActionBox()->findData(static_cast<int>(CRetention::Action::kTrash)));
  page->AddButton()->click();
  ASSERT_TRUE(sheet.Apply());
  CRetention saved(Singleton<CRetention>::Instance()->Path());
  ASSERT_TRUE(saved.Load());
  const CRetention::Settings s = saved.GetSettings();
  EXPECT_TRUE(s.Enabled);
  EXPECT_EQ(s.OlderThanDays, 30);
  EXPECT_EQ(s.ShorterThanSeconds, 2);
  EXPECT_EQ(s.How, CRetention::Action::kTrash);
  EXPECT_EQ(s.Folders, std::vector<std::string>{dir.File("calls")});

  page->Preview();
  QTRY_VERIFY(!page->Busy());
  ASSERT_EQ(page->Outcome()->topLevelItemCount(), 1);
  QTreeWidgetItem* item = page->Outcome()->topLevelItem(0);
  EXPECT_EQ(item->text(0).toStdString(), call);
  EXPECT_EQ(item->text(1), "remove");
  EXPECT_NE(item->text(2).indexOf("older than 30 days"), -1) << item->text(2).toStdString();
  sheet.grab().save(QString::fromStdString(Shot("retention-page.png")));

  page->RunNow();  // the question is answered No: nothing is touched
  EXPECT_FALSE(page->Busy());
  ASSERT_FALSE(messages.messages().empty());
  EXPECT_NE(messages.messages().back().find("Remove now"), std::string::npos);
  EXPECT_TRUE(std::filesystem::exists(call));
}

}  // namespace
