#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QSpinBox>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QApplication>
#include <QMessageBox>
#include <QTest>
#include <QTimer>
#include <thread>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "Archive/CSystemdTimer.h"
#include "Archive/CZIPArchiver.h"
#include "Archive/CArchiveLogger.h"
#include "Archive/CArchiveManager.h"
#include "Archive/CJobArchScheduler.h"
#include "Archive/ui/CArchiveCommands.h"
#include "Archive/ui/CArchiveJobSettings.h"
#include "Archive/ui/CArchiveJobsCallsLog.h"
#include "Archive/ui/CArchivePageSetCalls.h"
#include "Archive/ui/CArchiveSettingsSheet.h"
#include "Archive/ui/CArchiveWizard.h"
#include "Archive/ui/CArchiveWizardPageComplete.h"
#include "Archive/ui/CArchiveWizardPageDefineJob.h"
#include "Archive/ui/CArchiveWizardPageDeleteConfirm.h"
#include "Archive/ui/CArchiveWizardStatusDlg.h"
#include "organiser/CZelVelomarDoc.h"
#include "organiser/ui/CZelVelomarView.h"
#include "recording/CKlFileListEntry.h"
#include "recording/CRecordingWriter.h"
#include "support/TestSupport.h"
#include "toolkit/ui/CQtMessageSink.h"

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using Step = CArchiveWizardBase::Step;

std::string Shot(const std::string& name) { return QCoreApplication::applicationDirPath().toStdString() + "/" + name; }

class ArchiveWindowsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    fs::create_directories(dir_.File("calls/day"));
    for (int i = 0; i < 3; ++i) {
      RecordingDescription d;
      d.userId = "u" + std::to_string(i);
      d.startTime = 1300000000 + i * 3600;
      auto pcm = CRecordingWriter::SynthesizeVoice(8000, 3);
      std::string path = dir_.File("calls/day/u" + std::to_string(i) + "-call.zel");
      ASSERT_TRUE(CRecordingWriter::Write(path, d, pcm.data(), pcm.size()));
      paths_.push_back(path);
    }
    Singleton<CArchiveLogger>::Instance()->Clear();
    fs::create_directories(fs::path(Singleton<CArchiveLogger>::Instance()->Path()).parent_path());
    fs::remove(Singleton<CArchiveLogger>::Instance()->Path());
  }
  // No test leaves its systemctl work to tell the next one.
  void TearDown() override { EXPECT_TRUE(QTest::qWaitFor([] { return !CArchiveJobSettings::ClosedRunPending(); }, 5000)); }
  std::unique_ptr<CZelVelomarView> View() {
    auto doc = std::make_unique<CZelVelomarDoc>();
    for (const auto& p : paths_) {
      CKlFileListEntry e;
      e.SetPath(p);
      e.LoadDetails("");
      doc->AddEntry(e);
    }
    doc->SetListKind(CZelVelomarDoc::kFolderList, dir_.File("calls"));
    return std::make_unique<CZelVelomarView>(std::move(doc), nullptr);
  }
  // What the main window hands the wizard for `view`.
  static ArchiveCallList CallsOf(CZelVelomarView& view) {
    auto remove = [&view](const std::string& path) { view.RemoveEntryByPath(path); };
    return {&view.Document(), view.SelectedIndices(), remove};
  }
  // Runs the wizard through steps 1 to 3; returns with the run finished.
  void RunToEnd(CArchiveWizard& w, zel::ArchiveType type, const std::string& target, int media, int structure,
                const std::string& shots = "", bool wait = true) {
    w.show();
    auto* calls = static_cast<CArchivePageSetCalls*>(w.page(Step::kSetCalls));
    // Checked without a click, as the arrow keys and screen readers do.
    calls->AllButton()->setChecked(true);
    if (!shots.empty()) w.grab().save(QString::fromStdString(Shot(shots + "1.png")));
    w.next();
    ASSERT_EQ(w.currentId(), Step::kDefineJob);
    auto* job = static_cast<CArchiveWizardPageDefineJob*>(w.page(Step::kDefineJob));
    job->PathEdit()->setText(QString::fromStdString(target));
    job->MethodButton(type)->setChecked(true);
    job->MediaBox()->setCurrentIndex(media + 1);
    job->StructureBox()->setCurrentIndex(structure + 1);
    if (!shots.empty()) w.grab().save(QString::fromStdString(Shot(shots + "2.png")));
    w.next();
    ASSERT_EQ(w.currentId(), Step::kProgress);
    if (!wait) return;
    QTRY_VERIFY_WITH_TIMEOUT(w.State().Finished, 30000);
    if (!shots.empty()) w.grab().save(QString::fromStdString(Shot(shots + "3.png")));
  }
  CArchiveWizardPageComplete* Complete(CArchiveWizard& w) {
    return static_cast<CArchiveWizardPageComplete*>(w.page(Step::kComplete));
  }
  std::vector<std::string> Listing(const std::string& command) {
    auto result = zeltest::RunShell(command);
    std::vector<std::string> lines;
    std::istringstream in(result.out);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
  }

  zeltest::TempDir dir_;
  zeltest::ScopedMessages messages_;
  std::vector<std::string> paths_;
};

TEST_F(ArchiveWindowsTest, WizardArchivesIntoEachTypeWithoutTheConfirmStep) {
  auto view = View();
  auto log = Singleton<CArchiveLogger>::Instance();
  struct Case {
    zel::ArchiveType type;
    std::string target;
    int structure;
  } cases[] = {{zel::ArchiveType::kDisk, dir_.File("out/disk"), 1},
               {zel::ArchiveType::kZip, dir_.File("out/Archive.zip"), 0},
               {zel::ArchiveType::kIso, dir_.File("out/Archive.iso"), 3}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.target);
    {
      CArchiveWizard w(CallsOf(*view));
      bool zip = c.type == zel::ArchiveType::kZip;
      RunToEnd(w, c.type, c.target, 0, c.structure, zip ? "archive-wizard-" : "");
      w.next();
      // "Don't modify": no confirmation step.
      EXPECT_EQ(w.currentId(), Step::kComplete);
      if (zip) w.grab().save(QString::fromStdString(Shot("archive-wizard-5.png")));
      EXPECT_EQ(Complete(w)->Value("Call Modifications:"), "No calls were modified.");
      EXPECT_EQ(w.State().State.LogIndex(), log->Count() - 1);
      QString comment = "run " + QString::number(static_cast<int>(c.type));
      Complete(w)->commentEditor = [&](QString& text) {
        text = comment;
        return true;
      };
      Complete(w)->EditComment();
      w.accept();
    }
    // The wizard's job left the manager with the complete page; the log was saved.
    EXPECT_EQ(Singleton<CArchiveManager>::Instance()->JobCount(), 0);
    ASSERT_TRUE(fs::exists(log->Path()));
    CJobArchListEntry entry;
    ASSERT_TRUE(log->GetEntry(log->Count() - 1, entry));
    EXPECT_EQ(entry.Comment(), "run " + std::to_string(static_cast<int>(c.type)));
    EXPECT_EQ(entry.Sources().size(), 3u);
    for (const auto& p : paths_) EXPECT_TRUE(fs::exists(p));
  }
  EXPECT_TRUE(fs::exists(dir_.File("out/disk/u0/u0-call.zel")));
  EXPECT_TRUE(fs::exists(dir_.File("out/disk/u2/u2-call.zel")));
  if (zeltest::ToolAvailable("unzip")) {
    auto listing = Listing("unzip -Z1 " + zeltest::ShellQuote(dir_.File("out/Archive.zip")));
    std::sort(listing.begin(), listing.end());
    EXPECT_EQ(listing, (std::vector<std::string>{"index.csv", "index.html", "u0-call.zel", "u1-call.zel",
                                                 "u2-call.zel"}));
  }
  if (zeltest::ToolAvailable("xorriso")) {
    // By path, below the list window's folder.
    auto listing = Listing("xorriso -indev " + zeltest::ShellQuote(dir_.File("out/Archive.iso")) +
                           " -find / -type f 2>/dev/null");
    std::sort(listing.begin(), listing.end());
    EXPECT_EQ(listing, (std::vector<std::string>{"'/day/u0-call.zel'", "'/day/u1-call.zel'", "'/day/u2-call.zel'",
                                                 "'/index.csv'", "'/index.html'"}));
  }
  EXPECT_TRUE(messages_.messages().empty()) << messages_.messages().front();
}

TEST_F(ArchiveWindowsTest, DeletionHappensOnlyAfterTheStartOption) {
  auto view = View();
  {
    CArchiveWizard w(CallsOf(*view));
    RunToEnd(w, zel::ArchiveType::kDisk, dir_.File("keep"), 1, 0);
    for (const auto& p : paths_) EXPECT_TRUE(fs::exists(p));
    // The run's record is on disk before any original can be touched.
    EXPECT_NE(zeltest::ReadFile(Singleton<CArchiveLogger>::Instance()->Path()).find(dir_.File("keep")),
              std::string::npos);
    w.next();
    ASSERT_EQ(w.currentId(), Step::kDeleteConfirm);
    auto* confirm = static_cast<CArchiveWizardPageDeleteConfirm*>(w.page(Step::kDeleteConfirm));
    EXPECT_EQ(confirm->StartButton()->text(), "&Start Delete");
    EXPECT_TRUE(confirm->CancelButton()->isChecked());
    w.next();
    EXPECT_EQ(Complete(w)->Value("Call Modifications:"), "No calls were modified.");
    for (const auto& p : paths_) EXPECT_TRUE(fs::exists(p));
  }
  {
    CArchiveWizard w(CallsOf(*view));
    RunToEnd(w, zel::ArchiveType::kDisk, dir_.File("gone"), 1, 0);
    w.next();
    auto* confirm = static_cast<CArchiveWizardPageDeleteConfirm*>(w.page(Step::kDeleteConfirm));
    confirm->StartButton()->click();
    w.grab().save(QString::fromStdString(Shot("archive-wizard-4.png")));
    w.next();
    // The originals are changed beside the GUI thread; the wizard moves on when done.
    QTRY_COMPARE(w.currentId(), static_cast<int>(Step::kComplete));
    EXPECT_EQ(Complete(w)->Value("Call Modifications:"), "All archived original files were deleted.");
  }
  for (const auto& p : paths_) {
    EXPECT_FALSE(fs::exists(p));
    EXPECT_TRUE(fs::exists(dir_.File("gone/" + fs::path(p).filename().string())));
  }
  EXPECT_EQ(view->Document().EntryCount(), 0u);
}

TEST_F(ArchiveWindowsTest, CancelStopsTheRunAndBackMendsAFailedOne) {
  auto view = View();
  auto manager = Singleton<CArchiveManager>::Instance();
  auto log = Singleton<CArchiveLogger>::Instance();
  const std::string zip = dir_.File("out/Archive.zip");
  {
    // The real ZIP archiver, held in its first add until the run is cancelled.
    std::atomic<bool> reached{false};
    manager->SetArchiverFactory([&](zel::ArchiveType, IArchiver::ProgressFunction progress) {
      return std::make_unique<CZIPArchiver>([&, progress](double percent) {
        if (!reached.exchange(true)) {
          while (Singleton<CArchiveManager>::Instance()->IsRunning()) std::this_thread::sleep_for(5ms);
          std::this_thread::sleep_for(50ms);  // the archiver's cancel follows the stop request
        }
        progress(percent);
      });
    });
    CArchiveWizard w(CallsOf(*view));
    RunToEnd(w, zel::ArchiveType::kZip, zip, 1, 0, "", false);
    QTRY_VERIFY_WITH_TIMEOUT(reached.load(), 10000);
    ASSERT_TRUE(w.button(QWizard::CancelButton)->isEnabled());
    w.button(QWizard::CancelButton)->click();
    EXPECT_FALSE(w.isVisible());
    EXPECT_FALSE(manager->IsRunning());
  }
  manager->SetArchiverFactory(nullptr);
  EXPECT_FALSE(fs::exists(zip));
  EXPECT_FALSE(fs::exists(zip + ".zelpart"));
  EXPECT_EQ(log->Count(), 0);
  for (const auto& p : paths_) EXPECT_TRUE(fs::exists(p));

  // An archive that cannot be made: Back leads to the path, and the mended job runs.
  zeltest::WriteFile(dir_.File("blocker"), "a file where a folder should be");
  CArchiveWizard w(CallsOf(*view));
  RunToEnd(w, zel::ArchiveType::kZip, dir_.File("blocker/Archive.zip"), 0, 0);
  EXPECT_EQ(manager->GetRunStats().ArchivedCount, 0);
  w.grab().save(QString::fromStdString(Shot("archive-wizard-failed.png")));
  QString said = w.page(Step::kProgress)->findChild<QLabel*>()->text();
  EXPECT_TRUE(said.contains("cannot be written") && said.contains("No original was touched")) << said.toStdString();
  ASSERT_TRUE(w.button(QWizard::BackButton)->isEnabled());
  w.button(QWizard::BackButton)->click();
  ASSERT_EQ(w.currentId(), Step::kDefineJob);
  static_cast<CArchiveWizardPageDefineJob*>(w.page(Step::kDefineJob))->PathEdit()->setText(QString::fromStdString(zip));
  w.next();
  ASSERT_EQ(w.currentId(), Step::kProgress);
  QTRY_VERIFY_WITH_TIMEOUT(w.State().Finished, 30000);
  EXPECT_EQ(manager->GetRunStats().ArchivedCount, 3);
  EXPECT_FALSE(w.button(QWizard::BackButton)->isEnabled());
  EXPECT_EQ(manager->JobCount(), 1);
  EXPECT_EQ(log->Count(), 1);
  EXPECT_TRUE(fs::exists(zip));
}

TEST_F(ArchiveWindowsTest, PagesKeepTheUserUntilTheChoicesAreMade) {
  auto view = View();
  CArchiveWizard w(CallsOf(*view));
  w.show();
  w.next();
  EXPECT_EQ(w.currentId(), Step::kSetCalls);
  static_cast<CArchivePageSetCalls*>(w.page(Step::kSetCalls))->AllButton()->click();
  EXPECT_EQ(w.StatusPanel()->InfoText(1), "3");
  w.next();
  w.next();
  auto* job = static_cast<CArchiveWizardPageDefineJob*>(w.page(Step::kDefineJob));
  job->PathEdit()->setText(QString::fromStdString(dir_.File("x")));
  w.next();
  job->MethodButton(zel::ArchiveType::kZip)->click();
  w.next();
  job->MediaBox()->setCurrentIndex(1);
  w.next();
  EXPECT_EQ(w.currentId(), Step::kDefineJob);
  EXPECT_EQ(messages_.messages(),
            (std::vector<std::string>{"Please, select calls to be archived.", "Archive path must be specified.",
                                      "Write method must be specified.", "Calls modification must be specified.",
                                      "Archive structure must be specified."}));
  EXPECT_EQ(w.StatusPanel()->InfoText(4), "ZIP");
  EXPECT_EQ(Singleton<CArchiveManager>::Instance()->JobCount(), 0);
}

TEST_F(ArchiveWindowsTest, SheetAppliesTheScheduleAndKeepsAnEmptiedLog) {
  auto scheduler = Singleton<CJobArchScheduler>::Instance();
  auto log = Singleton<CArchiveLogger>::Instance();
  CJobArchListEntry entry;
  entry.SetJobTime(1400000000);
  entry.SetArchiveType(zel::ArchiveType::kZip);
  entry.SetTarget("/archives/a.zip");
  entry.SetCallCount(2);
  entry.SetComment("first");
  log->AddEntry(entry);
  ASSERT_TRUE(log->Save());
  std::string before = zeltest::ReadFile(log->Path());
  fs::remove(scheduler->SchedulePath());
  {
    CArchiveSettingsSheet sheet(CArchiveSettingsSheet::kSettingsPage);
    sheet.show();
    auto* page = sheet.SettingsPage();
    EXPECT_FALSE(page->PathEdit()->isEnabled());
    page->EnabledBox()->setChecked(true);
    EXPECT_EQ(page->EnabledBox()->text(), "&Scheduled Call Archiving Enabled");
    EXPECT_TRUE(page->PathEdit()->isEnabled());
    page->folderPicker = [&](const QString&) { return QString::fromStdString(dir_.File("calls")); };
    for (auto* button : page->findChildren<QPushButton*>()) {
      if (button->text() == "&Add...") button->click();
    }
    page->MethodButton(zel::ArchiveType::kIso)->click();
    EXPECT_FALSE(page->SizeBox()->isVisible());
    page->ThresholdBox()->setChecked(true);
    EXPECT_TRUE(page->SizeBox()->isVisible());
    page->ThresholdBox()->setChecked(false);
    EXPECT_FALSE(page->SizeBox()->isVisible());
    page->DaysBox()->setValue(3);
    // The closed-window timer comes with Apply (systemctl stood in for: no user bus here).
    qputenv("ZEL_SYSTEMCTL", "true");
    EXPECT_FALSE(page->ClosedRunBox()->isChecked());
    page->ClosedRunBox()->setChecked(true);
    sheet.grab().save(QString::fromStdString(Shot("archive-settings.png")));
    sheet.Tabs()->setCurrentIndex(CArchiveSettingsSheet::kLogPage);
    auto* logPage = sheet.LogPage();
    ASSERT_EQ(logPage->List()->count(), 1);
    EXPECT_EQ(logPage->List()->item(0)->text().toStdString(), CArchiveLogger::GetListLine(entry));
    sheet.grab().save(QString::fromStdString(Shot("archive-log.png")));
    logPage->List()->selectAll();
    logPage->Delete();
    EXPECT_EQ(logPage->List()->count(), 0);
    EXPECT_TRUE(sheet.Apply());
    EXPECT_TRUE(QTest::qWaitFor([] { return !CArchiveJobSettings::ClosedRunPending(); }, 5000));
    EXPECT_TRUE(CSystemdTimer::Installed());
    page->ClosedRunBox()->setChecked(false);
    EXPECT_TRUE(sheet.Apply());
    // The removal goes on after the unit files are gone: its systemctl must still be the stand-in.
    EXPECT_TRUE(QTest::qWaitFor([] { return !CArchiveJobSettings::ClosedRunPending(); }, 5000));
    EXPECT_FALSE(CSystemdTimer::Installed());
    qunsetenv("ZEL_SYSTEMCTL");
  }
  std::string xml = zeltest::ReadFile(scheduler->SchedulePath());
  EXPECT_NE(xml.find("   <Enabled>TRUE</Enabled>\r\n"), std::string::npos);
  EXPECT_NE(xml.find("   <ArchiveType>3</ArchiveType>\r\n"), std::string::npos);
  EXPECT_NE(xml.find("   <DaysInterval>3</DaysInterval>\r\n"), std::string::npos);
  EXPECT_NE(xml.find("   <ThresholdSize>0</ThresholdSize>\r\n"), std::string::npos);
  EXPECT_NE(xml.find("<path>" + dir_.File("calls") + "</path>"), std::string::npos);
  EXPECT_EQ(zeltest::ReadFile(log->Path()), before);
  auto s = scheduler->GetSettings();
  s.Enabled = false;
  scheduler->SetSettings(s);
}

TEST_F(ArchiveWindowsTest, SheetKeepsAScheduleThatCannotRunAndSaysOnceThatSystemdIsMissing) {
  auto scheduler = Singleton<CJobArchScheduler>::Instance();
  fs::remove(scheduler->SchedulePath());
  scheduler->SetSettings(CJobArchScheduler::Settings());
  CArchiveSettingsSheet sheet(CArchiveSettingsSheet::kSettingsPage);
  sheet.show();
  auto* page = sheet.SettingsPage();
  page->EnabledBox()->setChecked(true);
  page->folderPicker = [&](const QString&) { return QString::fromStdString(dir_.File("calls")); };
  QPushButton* add = nullptr;
  for (auto* button : page->findChildren<QPushButton*>()) {
    if (button->text() == "&Add...") add = button;
  }
  ASSERT_NE(add, nullptr);
  QLineEdit* name = nullptr;
  for (auto* edit : page->findChildren<QLineEdit*>()) {
    if (edit->accessibleName() == "Save As") name = edit;
  }
  ASSERT_NE(name, nullptr);
  // Each step mends one thing; until all are set, OK keeps the sheet open.
  const std::function<void()> steps[] = {[&] { name->setText(".."); }, [&] { name->setText("Diza Didurido Job"); },
                                         [&] { add->click(); }};
  const char* told[] = {"\"..\" cannot be used", "no folders to archive", "no archive method"};
  for (size_t i = 0; i < 3; ++i) {
    steps[i]();
    sheet.accept();
    EXPECT_TRUE(sheet.isVisible());
    ASSERT_EQ(messages_.messages().size(), i + 1);
    EXPECT_NE(messages_.messages()[i].find(told[i]), std::string::npos) << messages_.messages()[i];
  }
  EXPECT_FALSE(fs::exists(scheduler->SchedulePath()));
  page->MethodButton(zel::ArchiveType::kDisk)->click();

  // No systemd user session: told once, the box left unticked, nothing repeated later.
  qputenv("ZEL_SYSTEMCTL", "false");
  page->ClosedRunBox()->setChecked(true);
  EXPECT_TRUE(sheet.Apply());
  QTRY_COMPARE_WITH_TIMEOUT(messages_.messages().size(), size_t{4}, 10000);
  EXPECT_NE(messages_.messages()[3].find("no systemd user session"), std::string::npos);
  QTRY_VERIFY(!page->ClosedRunBox()->isChecked());
  EXPECT_FALSE(CSystemdTimer::Installed());
  EXPECT_TRUE(sheet.Apply());
  QTest::qWait(200);
  EXPECT_EQ(messages_.messages().size(), 4u);
  qunsetenv("ZEL_SYSTEMCTL");
  auto s = scheduler->GetSettings();
  s.Enabled = false;
  scheduler->SetSettings(s);
}

TEST_F(ArchiveWindowsTest, ScheduledRunReportsItsCounts) {
  QWidget main;
  CArchiveCommands commands(&main);
  auto scheduler = Singleton<CJobArchScheduler>::Instance();
  auto s = scheduler->GetSettings();
  s.Enabled = false;
  scheduler->SetSettings(s);
  commands.ArmTimer();
  EXPECT_FALSE(commands.TimerActive());
  commands.RunScheduledNow();
  ASSERT_EQ(messages_.messages().size(), 1u);
  EXPECT_EQ(messages_.messages()[0], "\u2018Scheduler is not Enabled, would you like to Modify Settings now?");

  s.Enabled = true;
  s.SpaceFolders = {dir_.File("calls")};
  s.ArchiveType = zel::ArchiveType::kDisk;
  s.ArchivePath = dir_.File("sched/");
  s.ScheduledTime = 0;
  scheduler->SetSettings(s);
  commands.ArmTimer();
  EXPECT_TRUE(commands.TimerActive());
  EXPECT_GT(commands.TimerDue(), static_cast<int64_t>(std::time(nullptr)));
  // The end-of-run box is not modal and the next run is armed while it waits for the user;
  // a failure of the run is told in it, not in a box that would hold the run.
  s.SpaceFolders.push_back(dir_.File("gone"));
  scheduler->SetSettings(s);
  commands.RunScheduledNow();
  ASSERT_EQ(messages_.messages().size(), 1u);
  QPointer<QMessageBox> box = commands.RunReport();
  ASSERT_TRUE(box && box->isVisible());
  EXPECT_FALSE(box->isModal());
  EXPECT_EQ(box->text(), "Archive Calls finished: 3 (from 3) calls archived.\n\n"
                         "ArchiveManager error - invalid file (..." + QString::fromStdString(dir_.File("gone")) + ")");
  EXPECT_TRUE(fs::exists(dir_.File("sched/Diza Didurido Job/u1-call.zel")));
  EXPECT_TRUE(commands.TimerActive());
  // A second run while the first box is unanswered: it runs, and its box replaces the first.
  commands.RunScheduledNow();
  QTRY_VERIFY(box.isNull());
  ASSERT_TRUE(commands.RunReport());
  EXPECT_TRUE(commands.TimerActive());
  commands.RunReport()->close();
  s = scheduler->GetSettings();
  s.Enabled = false;
  scheduler->SetSettings(s);
}

TEST_F(ArchiveWindowsTest, AMissingCallStillEndsTheRunAndLogsTheOthers) {
  auto view = View();
  fs::remove(paths_[1]);
  CArchiveWizard w(CallsOf(*view));
  RunToEnd(w, zel::ArchiveType::kDisk, dir_.File("partial"), 1, 0);
  w.next();
  static_cast<CArchiveWizardPageDeleteConfirm*>(w.page(Step::kDeleteConfirm))->StartButton()->click();
  w.next();
  QTRY_COMPARE(w.currentId(), static_cast<int>(Step::kComplete));
  // The last page tells what happened, not that every original went.
  EXPECT_EQ(Complete(w)->Value("Call Modifications:"),
            "2 of 3 original files were deleted. Kept: u1-call.zel (it did not reach the archive).");
  ASSERT_FALSE(messages_.messages().empty());
  EXPECT_EQ(messages_.messages()[0], "ArchiveManager error - invalid file (..." + paths_[1] + ")");
  CJobArchListEntry entry;
  ASSERT_TRUE(Singleton<CArchiveLogger>::Instance()->GetEntry(w.State().State.LogIndex(), entry));
  std::vector<std::string> logged;
  for (const auto& source : entry.Sources()) logged.push_back(source.Path());
  std::sort(logged.begin(), logged.end());
  EXPECT_EQ(logged, (std::vector<std::string>{paths_[0], paths_[2]}));
}

TEST_F(ArchiveWindowsTest, LogPageEditsCommentsAndCancelReadsTheFileBack) {
  auto log = Singleton<CArchiveLogger>::Instance();
  for (int i = 0; i < 2; ++i) {
    CJobArchListEntry entry;
    entry.SetJobTime(1400000000 + i);
    entry.SetArchiveType(zel::ArchiveType::kDisk);
    entry.SetTarget("/archives/" + std::to_string(i));
    entry.SetComment("job " + std::to_string(i));
    log->AddEntry(entry);
  }
  ASSERT_TRUE(log->Save());
  CArchiveJobsCallsLog page;
  ASSERT_EQ(page.List()->count(), 2);
  page.List()->item(1)->setSelected(true);
  page.commentEditor = [](QString& text) {
    text = "renamed";
    return true;
  };
  page.EditComment();
  EXPECT_TRUE(page.List()->item(1)->text().endsWith(" - renamed"));
  EXPECT_TRUE(page.List()->item(1)->isSelected());
  page.List()->item(0)->setSelected(true);
  page.Delete();
  EXPECT_EQ(log->Count(), 0);
  page.Cancel();
  ASSERT_EQ(page.List()->count(), 2);
  EXPECT_TRUE(page.List()->item(1)->text().endsWith(" - job 1"));
}

TEST(QtMessageSinkTest, AMessageFromACoreThreadIsShownByTheGuiThread) {
  CQtMessageSink sink;
  std::atomic<bool> done{false};
  QString shownText;
  bool onGuiThread = false;
  QTimer closer;
  QObject::connect(&closer, &QTimer::timeout, [&] {
    if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
      shownText = box->text();
      onGuiThread = box->thread() == qApp->thread();
      box->accept();
    }
  });
  closer.start(20);
  std::thread worker([&] {
    sink.ShowMessage("from the archive thread", "Zel Velomar", IMessageSink::Icon::Error);
    done = true;
  });
  QTRY_VERIFY_WITH_TIMEOUT(done.load(), 10000);
  worker.join();
  EXPECT_EQ(shownText, "from the archive thread");
  EXPECT_TRUE(onGuiThread);
}

}  // namespace
