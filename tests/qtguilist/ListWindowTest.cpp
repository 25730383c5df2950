#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QHeaderView>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMessageBox>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QTimer>

#include "audio/CPlaybackManager.h"
#include "audio/ui/CLegalHoldDlg.h"
#include "audio/ui/CPlayerForm.h"
#include "core/AuditTrail.h"
#include "core/CSettings.h"
#include "core/Singleton.h"
#include "organiser/CCallHistory.h"
#include "organiser/CZelVelomarDoc.h"
#include "organiser/IArchiveLookup.h"
#include "organiser/ListColumn.h"
#include "organiser/ui/CRecordingListModel.h"
#include "organiser/ui/CRecordingListTable.h"
#include "organiser/ui/CSearchDlg.h"
#include "organiser/ui/CZelVelomarView.h"
#include "organiser/ui/IListWindowHost.h"
#include "recording/CKlFileListEntry.h"
#include "recording/CKlRecordFile.h"
#include "recording/CLegalHolds.h"
#include "recording/CRecordingWriter.h"
#include "organiser/ui/CAnnotateDlg.h"
#include "support/TestSupport.h"

using namespace zeltest;

QT_BEGIN_NAMESPACE
inline void PrintTo(const QString& text, std::ostream* os) { *os << '"' << text.toStdString() << '"'; }
QT_END_NAMESPACE

namespace {

class FakeHost : public IListWindowHost {
 public:
  CPlayerForm* Player() override { return player; }
  CZelVelomarView* OpenListWindow(std::unique_ptr<CZelVelomarDoc> document) override {
    opened.push_back(std::make_unique<CZelVelomarView>(std::move(document), this));
    return opened.back().get();
  }
  void RunSearch(const SearchCriteria& criteria, CZelVelomarView* target, bool replace) override {
    searches.push_back(criteria);
    targets.push_back(target);
    replaces.push_back(replace);
  }
  void ArchiveList(CZelVelomarView* list) override { archived.push_back(list); }
  std::vector<CZelVelomarView*> archived;
  std::vector<std::unique_ptr<CZelVelomarView>> opened;
  std::vector<SearchCriteria> searches;
  std::vector<CZelVelomarView*> targets;
  std::vector<bool> replaces;
  CPlayerForm* player = nullptr;
};

class YesSink : public IMessageSink {
 public:
  void ShowMessage(const std::string& text, const std::string&, Icon) override { messages.push_back(text); }
  Answer AskYesNo(const std::string& text, const std::string&) override {
    messages.push_back(text);
    return Answer::Yes;
  }
  std::vector<std::string> messages;
};

class FakeArchive : public IArchiveLookup {
 public:
  int ArchiveKindOf(const CKlFileListEntry& e) override { return e.UserIdText() == "Anna" ? 2 : -1; }
  std::string ArchiveTooltipOf(const CKlFileListEntry& e) override {
    return e.UserIdText() == "Anna" ? "ZIP backup.zip" : "";
  }
};

// Answers the next modal message box with `button` and keeps its text.
void AnswerNextBox(QMessageBox::StandardButton button, QString* text) {
  QTimer::singleShot(0, [=] {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    ASSERT_NE(box, nullptr);
    *text = box->text();
    box->button(button)->click();
  });
}

class ListWindow : public ::testing::Test {
 protected:
  void TearDown() override { Singleton<CPlaybackManager>::Instance()->Close(); }

  std::string Make(const std::string& user, const std::string& date, int seconds, const std::string& caller,
                   const std::string& comment = "", uint32_t important = 0, int bmStart = -1, int bmEnd = -1,
                   bool encrypted = false) {
    RecordingDescription d;
    d.formatTag = zel::kFormatMuLaw;
    d.callerId = caller;
    d.comment = comment;
    d.userId = user;
    d.important = important;
    d.bookmarkStart = bmStart;
    d.bookmarkEnd = bmEnd;
    d.startTime = 1767225600 + static_cast<int32_t>(paths_.size()) * 3600;
    if (encrypted) {
      d.version = 5;
      d.passphrase = "secret";
    }
    auto pcm = CRecordingWriter::SynthesizeVoice(static_cast<size_t>(seconds) * 8000, 3);
    std::string path = dir_.File(user + "-" + date + ".zel");
    EXPECT_TRUE(CRecordingWriter::Write(path, d, pcm.data(), pcm.size()));
    paths_.push_back(path);
    return path;
  }
  std::unique_ptr<CZelVelomarDoc> Doc() {
    auto doc = std::make_unique<CZelVelomarDoc>();
    for (const std::string& p : paths_) {
      auto e = std::make_unique<CKlFileListEntry>();
      e->SetPath(p);
      e->LoadDetails("");
      doc->AddEntry(e);
    }
    doc->SetListKind(CZelVelomarDoc::kFolderList, dir_.path());
    doc->SetModified(false);
    return doc;
  }
  static std::vector<std::string> Users(const CZelVelomarView& v) {
    std::vector<std::string> users;
    for (size_t i = 0; i < v.Document().EntryCount(); ++i) users.emplace_back(v.Document().EntryAt(i)->UserIdText());
    return users;
  }

  TempDir dir_;
  std::vector<std::string> paths_;
  FakeHost host_;
};

}  // namespace

TEST_F(ListWindow, ColumnsTextsIconsAndTooltips) {
  FakeArchive archive;
  zel::SetArchiveLookup(&archive);
  Make("Anna", "20260101120000", 65, ">0171 555", "Call back\r\nsecond line", 1, 1, 3);
  Make("Ben", "20260102120000", 3600, "<0302", "", 0, -1, -1, true);
  CZelVelomarView view(Doc(), &host_);
  const QAbstractItemModel* m = view.Table()->model();
  ASSERT_EQ(m->columnCount(), 9);
  QStringList headers;
  for (int c = 0; c < 9; ++c) headers << m->headerData(c, Qt::Horizontal).toString();
  EXPECT_EQ(headers.join('|'), "ENC|!|User ID|Caller ID|Archived|Date + Time|Duration|BM|Comment");

  // Default order: date descending; the undecryptable call has no date.
  ASSERT_EQ(Users(view), (std::vector<std::string>{"Anna", "Decryption error!"}));
  auto cell = [&](int row, int col, int role = Qt::DisplayRole) { return m->data(m->index(row, col), role); };
  EXPECT_EQ(cell(0, 3).toString(), ">0171 555");
  EXPECT_EQ(cell(0, 6).toString(), "00:01:05");
  EXPECT_EQ(cell(0, 8).toString(), "Call back");
  EXPECT_FALSE(cell(0, 1, Qt::DecorationRole).value<QIcon>().isNull());
  EXPECT_EQ(cell(0, 1, Qt::ToolTipRole).toString(), "Important");
  EXPECT_EQ(cell(0, 7, Qt::ToolTipRole).toString(), "Bookmark the call");
  EXPECT_FALSE(cell(0, 4, Qt::DecorationRole).value<QIcon>().isNull());
  EXPECT_EQ(cell(0, 4, Qt::ToolTipRole).toString(), "ZIP backup.zip");
  EXPECT_TRUE(cell(0, 0, Qt::DecorationRole).isNull());
  EXPECT_EQ(cell(1, 0, Qt::ToolTipRole).toString(), "Call Encrypted");
  EXPECT_FALSE(cell(1, 0, Qt::DecorationRole).value<QIcon>().isNull());
  EXPECT_EQ(cell(1, 4, Qt::ToolTipRole).toString(), "Not archived yet");
  EXPECT_TRUE(cell(1, 4, Qt::DecorationRole).isNull());
  EXPECT_TRUE(cell(1, 7, Qt::DecorationRole).isNull());
  zel::SetArchiveLookup(nullptr);

  EXPECT_EQ(view.SummaryText(), "Calls: 2 Important: 1 Duration: 00:01:05");
  EXPECT_TRUE(view.LabelText().startsWith(QString::fromStdString(dir_.path()).section('/', -1) + " - "));

  // Marking and removal notified from other windows.
  view.SetEntryImportant(paths_[0], false);
  EXPECT_EQ(view.SummaryText(), "Calls: 2 Important: 0 Duration: 00:01:05");
  view.RemoveEntryByPath(paths_[1]);
  view.RemoveEntryByPath("/nowhere.zel");
  EXPECT_EQ(view.Document().EntryCount(), 1u);
  EXPECT_TRUE(view.windowTitle().endsWith('*'));
}

TEST_F(ListWindow, HeaderClicksToggleTheDirectionAndRefreshRepeatsTheSearch) {
  Make("Carl", "20260103120000", 2, "1");
  Make("Anna", "20260101120000", 3, "2");
  Make("Ben", "20260102120000", 4, "3");
  CZelVelomarView view(Doc(), &host_);
  EXPECT_EQ(view.SortColumn(), 5);
  EXPECT_TRUE(view.SortDescending());
  view.HeaderClicked(2);
  EXPECT_EQ(Users(view), (std::vector<std::string>{"Anna", "Ben", "Carl"}));
  EXPECT_EQ(view.Table()->horizontalHeader()->sortIndicatorOrder(), Qt::AscendingOrder);
  view.SelectIndices({0});
  view.HeaderClicked(2);
  EXPECT_EQ(Users(view), (std::vector<std::string>{"Carl", "Ben", "Anna"}));
  EXPECT_EQ(view.Table()->horizontalHeader()->sortIndicatorOrder(), Qt::DescendingOrder);
  // The selected recording follows the sort.
  ASSERT_EQ(view.SelectedIndices(), (std::vector<size_t>{2}));
  view.HeaderClicked(0);  // no sort key
  EXPECT_EQ(view.SortColumn(), 2);
  EXPECT_EQ(view.Table()->horizontalHeader()->sortIndicatorSection(), 2);
  EXPECT_EQ(Users(view), (std::vector<std::string>{"Carl", "Ben", "Anna"}));

  // A resized column is remembered for the next list.
  view.Table()->setColumnWidth(3, 217);
  EXPECT_EQ(Singleton<CSettings>::Instance()->GetColumnWidth(3), 217);
  CZelVelomarView next(std::make_unique<CZelVelomarDoc>(), &host_);
  EXPECT_EQ(next.Table()->columnWidth(3), 217);

  view.Document().SetBuiltBySearch(true);
  SearchCriteria criteria;
  criteria.folders = {"/rec"};
  view.Document().SetCriteria(criteria);
  view.Refresh();
  ASSERT_EQ(host_.searches.size(), 1u);
  EXPECT_EQ(host_.searches[0].folders, criteria.folders);
  EXPECT_EQ(host_.targets[0], &view);
  EXPECT_TRUE(host_.replaces[0]);
  // Dropped folders add their calls to the list.
  view.SearchFolders({QString::fromStdString(dir_.path())});
  ASSERT_EQ(host_.searches.size(), 2u);
  EXPECT_EQ(host_.searches[1].includeSubfolders, 1);
  EXPECT_EQ(host_.searches[1].dateMode, static_cast<int>(zel::DateMode::All));
  EXPECT_EQ(host_.targets[1], &view);
  EXPECT_FALSE(host_.replaces[1]);
}

// A list no search built (opened, pasted, new) re-reads its calls on Refresh, those
// that could not be decrypted before included.
TEST_F(ListWindow, RefreshRereadsAListNoSearchBuilt) {
  Make("Anna", "20260101120000", 2, "1");
  const std::string locked = Make("Ben", "20260102120000", 3, "2", "", 0, -1, -1, true);
  CZelVelomarView view(std::make_unique<CZelVelomarDoc>(), &host_);
  view.AddFiles({QString::fromStdString(paths_[0]), QString::fromStdString(locked)});
  ASSERT_EQ(Users(view), (std::vector<std::string>{"Anna", "Decryption error!"}));
  auto settings = Singleton<CSettings>::Instance();
  settings->SetPassphrase("secret");
  view.Refresh();
  settings->SetPassphrase("");
  EXPECT_TRUE(host_.searches.empty());
  EXPECT_EQ(Users(view), (std::vector<std::string>{"Ben", "Anna"}));
  EXPECT_EQ(view.SummaryText(), "Calls: 2 Important: 0 Duration: 00:00:05");
}

TEST_F(ListWindow, KeysTabHomeAndEndAndTheDisabledDelete) {
  for (const char* user : {"A", "B", "C"}) Make(user, std::string("2026010") + user[0] + "120000", 2, "1");
  CZelVelomarView view(Doc(), &host_);
  view.show();
  view.activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&view));
  CRecordingListTable* table = view.Table();
  table->setFocus();
  view.SelectIndices({1});
  const struct {
    Qt::Key key;
    Qt::KeyboardModifiers modifiers;
    size_t row;
  } keys[] = {{Qt::Key_End, Qt::NoModifier, 2},
              {Qt::Key_Home, Qt::NoModifier, 0},
              {Qt::Key_End, Qt::ControlModifier, 2},
              {Qt::Key_Home, Qt::ControlModifier, 0}};
  for (const auto& k : keys) {
    QTest::keyClick(table, k.key, k.modifiers);
    EXPECT_EQ(view.SelectedIndices(), std::vector<size_t>{k.row}) << k.key << " " << k.modifiers;
  }
  // Tab leaves the table and walks the buttons as they are shown.
  QTest::keyClick(table, Qt::Key_Tab);
  EXPECT_EQ(table->currentIndex().column(), 0);
  QStringList visited;
  while (auto* button = qobject_cast<QPushButton*>(QApplication::focusWidget())) {
    if (visited.contains(button->text())) break;
    visited << button->text();
    QTest::keyClick(button, Qt::Key_Tab);
  }
  EXPECT_EQ(visited, QStringList({"Annotate...", "Refresh", "Search...", "Export...", "Archive...", "Delete"}));

  // With deleting disabled by the administrator, the menu item is disabled too.
  auto deleteItem = [&] {
    for (QAction* action : view.ContextMenu()->actions())
      if (action->text() == "&Delete Recordings") return action;
    return static_cast<QAction*>(nullptr);
  };
  ASSERT_NE(deleteItem(), nullptr);
  EXPECT_TRUE(deleteItem()->isEnabled());
  XdgSandbox xdg;
  auto disableDelete = [](int flag) {
    WriteFile(CSettings::GlobalSettingsFilePath(false, "config.xml"),
              "<?xml version=\"1.0\"?>\n<profile version=\"1\"><section name=\"settings\"><DisableDelete>" +
                  std::to_string(flag) + "</DisableDelete></section></profile>\n");
    Singleton<CSettings>::Instance()->Load();
  };
  disableDelete(1);
  EXPECT_FALSE(deleteItem()->isEnabled());
  disableDelete(0);
}

// Activating the play history loads the call the user saw selected, then refills.
TEST_F(ListWindow, PlayHistoryLoadsItsSelectionBeforeItRefills) {
  const std::string a = Make("A", "20260101120000", 2, "1");
  const std::string b = Make("B", "20260102120000", 2, "1");
  const std::string c = Make("C", "20260103120000", 2, "1");
  auto& history = *Singleton<CCallHistory>::Instance();
  history.ClearHistory();
  history.AddPlayed(a);
  history.AddPlayed(b);
  auto doc = std::make_unique<CZelVelomarDoc>();
  history.FillDocument(*doc);
  doc->SetListKind(CZelVelomarDoc::kPlayHistory, "");
  CPlayerForm player;
  host_.player = &player;
  CZelVelomarView view(std::move(doc), &host_);
  {
    // Selected while another list window was active.
    const QSignalBlocker block(view.Table()->selectionModel());
    view.SelectIndices({1});
  }
  history.AddPlayed(c);  // played meanwhile: the refill puts it first
  view.OnActivated();
  host_.player = nullptr;
  history.ClearHistory();
  EXPECT_EQ(Singleton<CPlaybackManager>::Instance()->Recording().Path(), a);
  EXPECT_EQ(Users(view), (std::vector<std::string>{"C", "B", "A"}));
  EXPECT_EQ(view.SelectedIndices(), std::vector<size_t>{2});
}

// An empty list says how calls get into it; a narrow window wraps its buttons.
TEST_F(ListWindow, EmptyHintAndNarrowWindow) {
  CZelVelomarView view(std::make_unique<CZelVelomarDoc>(), &host_);
  EXPECT_EQ(view.Table()->accessibleDescription(), CRecordingListTable::EmptyHint());
  view.AddFiles({QString::fromStdString(Make("A", "20260101120000", 2, "1"))});
  EXPECT_TRUE(view.Table()->accessibleDescription().isEmpty());

  view.resize(380, 300);
  view.show();
  QApplication::processEvents();
  EXPECT_LE(view.width(), 380);
  const QList<QPushButton*> buttons = view.findChildren<QPushButton*>();
  EXPECT_EQ(buttons.size(), 6);
  for (QPushButton* button : buttons) {
    EXPECT_TRUE(view.rect().contains(QRect(button->mapTo(&view, QPoint()), button->size())))
        << button->text().toStdString();
  }
}

TEST_F(ListWindow, DeleteGoesFromTheHighestIndexAndStopsAtAnEncryptedCall) {
  auto sink = std::make_shared<YesSink>();
  zel::SetMessageSink(sink);
  Make("A", "20260101120000", 2, "1");
  Make("B", "20260102120000", 2, "1", "", 0, -1, -1, true);
  Make("C", "20260103120000", 2, "1");
  Make("D", "20260104120000", 2, "1");
  CZelVelomarView view(Doc(), &host_);
  view.HeaderClicked(2);  // A B(encrypted: "Decryption error!") C D by user text
  ASSERT_EQ(Users(view), (std::vector<std::string>{"A", "C", "D", "Decryption error!"}));
  view.HeaderClicked(2);  // descending: "Decryption error!" D C A
  view.SelectAll();
  view.DeleteSelected();
  EXPECT_TRUE(QTest::qWaitFor([&] { return !view.WorkingOnFiles(); }, 5000));
  zel::SetMessageSink(nullptr);
  ASSERT_GE(sink->messages.size(), 2u);
  EXPECT_EQ(sink->messages[0], "This will delete 4 call(s)\n\nAre you sure?");
  EXPECT_EQ(sink->messages.back(), "Failed to delete one or more files!\rPossibly it is Read Only?");
  // A (index 3) and C (index 2) and D (index 1) went; the encrypted call at index 0 stopped it.
  EXPECT_EQ(Users(view), (std::vector<std::string>{"Decryption error!"}));
  EXPECT_FALSE(FileExists(paths_[0]));
  EXPECT_TRUE(FileExists(paths_[1]));
  EXPECT_FALSE(FileExists(paths_[3]));
  EXPECT_EQ(view.SummaryText(), "Calls: 1 Important: 0 Duration: 00:00:00");
}

// A hold set from the list window keeps every call of the caller from the list's and
// the player's Delete, which name it; the actions leave their lines in the audit trail.
TEST_F(ListWindow, LegalHoldKeepsCallsFromDeleteAndActionsAreAudited) {
  auto sink = std::make_shared<YesSink>();
  zel::SetMessageSink(sink);
  const std::string held = Make("A", "20260101120000", 2, "555");
  const std::string free = Make("B", "20260102120000", 2, "556");
  const std::string sameCaller = Make("C", "20260103120000", 2, "555");
  CZelVelomarView view(Doc(), &host_);
  const auto rowOf = [&](const std::string& user) {
    const auto users = Users(view);
    return static_cast<size_t>(std::find(users.begin(), users.end(), user) - users.begin());
  };
  // Answers the next hold dialog: the reason, every call of the caller, OK.
  const auto answerHoldDialog = [](const QString& reason, bool byCaller) {
    QTimer::singleShot(0, [=] {
      auto* dialog = qobject_cast<CLegalHoldDlg*>(QApplication::activeModalWidget());
      ASSERT_NE(dialog, nullptr);
      EXPECT_EQ(dialog->OkButton()->isEnabled(), dialog->HoldList() != nullptr);  // a new hold needs its reason
      dialog->ReasonEdit()->setText(reason);
      if (byCaller) dialog->CallerButton()->setChecked(true);
      dialog->OkButton()->click();
    });
  };
  view.SelectIndices({rowOf("A")});
  answerHoldDialog(QStringLiteral("claim 17"), true);
  view.ChangeHold(true);
  CLegalHolds& holds = *Singleton<CLegalHolds>::Instance();
  ASSERT_TRUE(holds.HoldFor(sameCaller).has_value());
  EXPECT_EQ(holds.HoldFor(held)->reason, "claim 17");
  const QAbstractItemModel* m = view.Table()->model();
  const QModelIndex callerCell = m->index(static_cast<int>(rowOf("A")), 3);
  EXPECT_FALSE(m->data(callerCell, Qt::DecorationRole).isNull());
  EXPECT_TRUE(m->data(callerCell, Qt::AccessibleDescriptionRole).toString().contains("claim 17"));
  EXPECT_TRUE(m->data(m->index(static_cast<int>(rowOf("B")), 3), Qt::DecorationRole).isNull());

  view.MarkImportant(true);
  EXPECT_TRUE(QTest::qWaitFor([&] { return !view.WorkingOnFiles(); }, 5000));
  view.SelectAll();
  view.DeleteSelected();
  EXPECT_TRUE(QTest::qWaitFor([&] { return !view.WorkingOnFiles(); }, 5000));
  EXPECT_EQ(Users(view), (std::vector<std::string>{"C", "A"}));
  EXPECT_TRUE(FileExists(held) && FileExists(sameCaller));
  EXPECT_FALSE(FileExists(free));
  ASSERT_FALSE(sink->messages.empty());
  EXPECT_NE(sink->messages.back().find(held + ": on legal hold (all calls of 555) since"), std::string::npos);

  CPlayerForm player;
  ASSERT_TRUE(player.OpenWithoutPlaying(held));
  player.Delete();
  EXPECT_TRUE(FileExists(held));
  EXPECT_NE(sink->messages.back().find("is kept: on legal hold"), std::string::npos);
  // Release from the player lists the caller's hold, ticked.
  answerHoldDialog(QString(), false);
  player.ChangeHold(false);
  EXPECT_FALSE(holds.HoldFor(held).has_value());
  zel::SetMessageSink(nullptr);

  const auto actions = [](const std::string& path) {
    std::vector<std::string> found;
    for (const auto& record : zel::AuditTrail().Read({path, "", ""})) found.push_back(record.action);
    return found;
  };
  EXPECT_EQ(actions(held), (std::vector<std::string>{"mark important"}));
  EXPECT_EQ(actions(free), (std::vector<std::string>{"delete"}));
  std::vector<std::string> callerActions;
  for (const auto& record : zel::AuditTrail().Read({"", "555", ""})) callerActions.push_back(record.action);
  EXPECT_EQ(callerActions, (std::vector<std::string>{"hold set", "mark important", "hold release"}));
}

TEST_F(ListWindow, CopyPasteRemoveAndTrim) {
  Make("A", "20260101120000", 2, "1");
  Make("B", "20260102120000", 2, "1");
  Make("C", "20260103120000", 2, "1");
  CZelVelomarView view(Doc(), &host_);
  view.SelectIndices({0, 2});
  view.Copy();
  const QMimeData* mime = QApplication::clipboard()->mimeData();
  ASSERT_NE(mime, nullptr);
  EXPECT_EQ(mime->urls().size(), 2);
  EXPECT_TRUE(mime->data("x-special/gnome-copied-files").startsWith("copy\nfile://"));

  CZelVelomarView other(std::make_unique<CZelVelomarDoc>(), &host_);
  EXPECT_TRUE(other.CanPaste());
  other.Document().SetBuiltBySearch(true);
  other.Paste();
  other.Paste();  // the same files again add nothing
  EXPECT_EQ(Users(other), (std::vector<std::string>{"C", "A"}));
  EXPECT_EQ(other.Document().GetListKind(), CZelVelomarDoc::kCustomList);
  EXPECT_FALSE(other.Document().IsBuiltBySearch());

  view.SelectIndices({1});
  view.Trim();
  EXPECT_EQ(Users(view), (std::vector<std::string>{"B"}));
  other.SelectIndices({0});
  other.Remove();
  EXPECT_EQ(Users(other), (std::vector<std::string>{"A"}));
  EXPECT_TRUE(FileExists(paths_[2]));  // removing never deletes
}

TEST_F(ListWindow, SaveOpenAppendAndTheCloseQuestion) {
  Make("A", "20260101120000", 2, "1");
  Make("B", "20260102120000", 2, "1");
  CZelVelomarView view(Doc(), &host_);
  view.Document().SetModified(true);
  const std::string list = dir_.File("calls.reclist");

  QString text;
  AnswerNextBox(QMessageBox::Cancel, &text);
  EXPECT_FALSE(view.QueryClose());
  EXPECT_TRUE(text.contains("Save changes to " + QString::fromStdString(dir_.path()).section('/', -1) + "?"));
  EXPECT_TRUE(text.startsWith("You are about to close current list window"));
  // Yes without a file asks for one; a cancelled file dialog keeps the window.
  view.saveFilePicker = [] { return QString(); };
  AnswerNextBox(QMessageBox::Yes, &text);
  EXPECT_FALSE(view.QueryClose());
  view.saveFilePicker = [&] { return QString::fromStdString(dir_.File("calls")); };
  AnswerNextBox(QMessageBox::Yes, &text);
  EXPECT_TRUE(view.QueryClose());
  EXPECT_TRUE(FileExists(list));
  EXPECT_FALSE(view.Document().IsModified());
  EXPECT_TRUE(view.QueryClose());  // unmodified: no question

  CZelVelomarDoc opened;
  ASSERT_TRUE(opened.OpenListFile(list));
  EXPECT_EQ(opened.EntryCount(), 2u);

  Make("C", "20260103120000", 2, "1");
  auto third = std::make_unique<CZelVelomarDoc>();
  auto e = std::make_unique<CKlFileListEntry>();
  e->SetPath(paths_[2]);
  e->LoadDetails("");
  third->AddEntry(e);
  third->SetListKind(CZelVelomarDoc::kFolderList, dir_.path());
  CZelVelomarView target(std::move(third), &host_);
  target.openFilePicker = [&] { return QString::fromStdString(list); };
  ASSERT_TRUE(target.Append());
  EXPECT_EQ(target.Document().EntryCount(), 3u);
  EXPECT_EQ(target.Document().GetListKind(), CZelVelomarDoc::kCustomList);
  EXPECT_TRUE(target.windowTitle().endsWith('*'));
  AnswerNextBox(QMessageBox::No, &text);
  EXPECT_TRUE(target.QueryClose());
  EXPECT_TRUE(text.contains("Save changes to Custom?"));
}

TEST_F(ListWindow, SearchWithinOpensTheMatchesAsACustomList) {
  Make("A", "20260101120000", 2, ">0301", "Angry customer");
  Make("B", "20260102120000", 2, "<0402", "angry too");
  Make("C", "20260103120000", 2, ">0503", "calm");
  CZelVelomarView view(Doc(), &host_);
  QTimer::singleShot(0, [] {
    auto* dialog = qobject_cast<CSearchDlg*>(QApplication::activeModalWidget());
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(dialog->Field(), zel::ListSearchField::All);
    dialog->SetDirection(zel::ListSearchDirection::Incoming);
    dialog->SetText("angry");
    dialog->accept();
  });
  view.SearchWithin();
  ASSERT_EQ(host_.opened.size(), 1u);
  EXPECT_EQ(Users(*host_.opened[0]), (std::vector<std::string>{"A"}));
  EXPECT_EQ(host_.opened[0]->Document().GetListKind(), CZelVelomarDoc::kCustomList);
  EXPECT_EQ(view.Document().EntryCount(), 3u);
}

TEST_F(ListWindow, AnnotatePhraseKeepsTheBookmarkLine) {
  const std::string path = Make("Anna", "20260101120000", 20, "1", "Old words", 0, 2, 9);
  CPlaybackManager& m = *Singleton<CPlaybackManager>::Instance();
  ASSERT_TRUE(m.Load(path));
  const std::string stored = m.Recording().GetComment();
  CAnnotateDlg dialog;
  EXPECT_EQ(dialog.Phrases().size(), 16);
  EXPECT_EQ(dialog.Phrases().front(), "Product Interest");
  dialog.SetComment(QString::fromStdString(stored));
  dialog.ChoosePhrase("Follow Up");
  EXPECT_TRUE(dialog.Comment().startsWith("Bookmark at: "));
  EXPECT_TRUE(dialog.Comment().contains("Follow Up")) << dialog.Comment().toStdString();
  EXPECT_FALSE(dialog.Comment().contains("Old words"));
  EXPECT_EQ(m.Recording().GetComment(), stored);
  EXPECT_FALSE(m.Recording().HeaderDirty());
  dialog.show();
  EXPECT_TRUE(dialog.grab().save(QApplication::applicationDirPath() + "/annotate-dialog.png"));
  dialog.SetComment(QString(1500, 'x'));
  EXPECT_EQ(dialog.Comment().size(), 1024);
  m.Close();

  // Without a bookmark the phrase is the whole comment.
  const std::string plain = Make("Ben", "20260101130000", 5, "1", "Old words");
  ASSERT_TRUE(m.Load(plain));
  dialog.ChoosePhrase("Interview");
  EXPECT_EQ(dialog.Comment(), "Interview");
}

TEST_F(ListWindow, ScreenshotOfDemoRecordings) {
  FakeArchive archive;
  zel::SetArchiveLookup(&archive);
  Make("Anna", "20260105091500", 312, ">0171 555 0199 Miller & Co", "Order detail: 12 boxes", 1, 10, 40);
  Make("Ben", "20260105102200", 95, "<0302 7788", "Callback Again");
  Make("Clara", "20260105113000", 1260, ">0049 30 1234", "Complaint about the delivery", 0);
  Make("Dave", "20260105140500", 42, ">0800 123", "", 1, -1, -1, true);
  Make("Emma", "20260106081000", 610, "<0161 496 0000", "Verbal Quote");
  CZelVelomarView view(Doc(), &host_);
  view.resize(900, 320);
  view.show();
  view.SelectIndices({1});
  QApplication::processEvents();
  const QString png = QApplication::applicationDirPath() + "/list-window.png";
  EXPECT_TRUE(view.grab().save(png));
  zel::SetArchiveLookup(nullptr);
}

TEST_F(ListWindow, ExportMarkImportantAndAnnotateWriteTheFiles) {
  Make("A", "20260101120000", 2, "1");
  Make("B", "20260102120000", 2, "1", "", 0, 0, 1);
  CZelVelomarView view(Doc(), &host_);
  view.HeaderClicked(2);  // A, B
  view.SelectAll();

  TempDir out;
  view.exportFolderPicker = [&] { return QString::fromStdString(out.path()); };
  view.ExportSelected();
  EXPECT_TRUE(QTest::qWaitFor([&] { return !view.WorkingOnFiles(); }, 5000));
  EXPECT_EQ(ReadFile(out.File("A-20260101120000.zel")), ReadFile(paths_[0]));
  EXPECT_TRUE(FileExists(out.File("B-20260102120000.zel")));
  ScopedMessages messages;
  view.exportFolderPicker = [] { return QStringLiteral("/proc/no-such-folder"); };
  view.ExportSelected();
  EXPECT_TRUE(QTest::qWaitFor([&] { return !view.WorkingOnFiles(); }, 5000));
  ASSERT_EQ(messages.messages().size(), 1u);  // reported once, not per file
  EXPECT_EQ(messages.messages()[0], "Failed to export one or more files!\rPossibly it is Read Only?");

  view.MarkImportant(true);
  EXPECT_TRUE(QTest::qWaitFor([&] { return !view.WorkingOnFiles(); }, 5000));
  EXPECT_EQ(view.Document().ImportantCount(), 2);
  for (const std::string& p : paths_) {
    CKlFileListEntry e;
    e.SetPath(p);
    e.LoadDetails("");
    EXPECT_EQ(e.Important(), 1u) << p;
  }
  view.SelectIndices({1});
  view.MarkImportant(false);
  EXPECT_EQ(view.Document().ImportantCount(), 1);
  // A single call whose file cannot be written says so and keeps its mark.
  const std::string kept = ReadFile(paths_[0]);
  WriteFile(paths_[0], "abc");
  view.SelectIndices({0});
  view.MarkImportant(false);
  EXPECT_EQ(messages.messages().back(), "Could not write the important mark into " + paths_[0]);
  EXPECT_EQ(view.Document().ImportantCount(), 1);
  WriteFile(paths_[0], kept);
  view.SelectIndices({1});

  // Annotate: OK writes the comment into the file and the list shows it.
  QTimer::singleShot(0, [] {
    auto* dialog = qobject_cast<CAnnotateDlg*>(QApplication::activeModalWidget());
    ASSERT_NE(dialog, nullptr);
    dialog->ChoosePhrase("Dictation");
    dialog->accept();
  });
  view.Annotate();
  CKlFileListEntry e;
  e.SetPath(paths_[1]);
  e.LoadDetails("");
  EXPECT_TRUE(e.HasBookmark());
  EXPECT_EQ(CZelVelomarDoc::CommentColumnText(e.CommentText()), "Dictation");
  const QAbstractItemModel* m = view.Table()->model();
  EXPECT_EQ(m->data(m->index(1, 8)).toString(), "Dictation");
  EXPECT_EQ(e.Important(), 0u);
}

// The filter shows the calls whose texts hold what is typed; whatever works on the
// selected rows works on the calls shown in them.
TEST_F(ListWindow, FilterNarrowsTheRowsAndTheSelectionFollowsTheCalls) {
  Make("Anna", "20260101120000", 2, ">0301", "Order for M\xC3\xBCller");
  Make("Bob", "20260102120000", 2, "<0999");
  Make("Carl", "20260103120000", 2, ">0777", "muller? no");
  Make("Dora", "20260104120000", 2, "<0301");
  CZelVelomarView view(Doc(), &host_);
  view.show();
  view.activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&view));
  QLineEdit* filter = view.FilterField();
  EXPECT_EQ(filter->accessibleName(), "Filter calls");
  auto shown = [&] {
    std::vector<std::string> users;
    const QAbstractItemModel* model = view.Table()->model();
    for (int r = 0; r < model->rowCount(); ++r) {
      users.push_back(model->index(r, static_cast<int>(zel::ListColumn::UserId)).data().toString().toStdString());
    }
    return users;
  };
  auto selectedUsers = [&] {
    std::vector<std::string> users;
    for (size_t i : view.SelectedIndices()) users.emplace_back(view.Document().EntryAt(i)->UserIdText());
    return users;
  };
  ASSERT_EQ(shown(), (std::vector<std::string>{"Dora", "Carl", "Bob", "Anna"}));
  view.Table()->setFocus();
  QTest::keyClick(view.Table(), Qt::Key_F, Qt::ControlModifier);
  EXPECT_EQ(QApplication::focusWidget(), filter);

  // Dora and Anna selected; typing keeps Anna, the one still shown.
  view.SelectIndices({0, 3});
  const struct {
    const char* typed;  // appended to the field
    std::vector<std::string> rows;
    std::vector<std::string> selected;
    const char* calls;
  } steps[] = {
      {"0", {"Dora", "Carl", "Bob", "Anna"}, {"Dora", "Anna"}, "Calls: 4 of 4"},
      {"30", {"Dora", "Anna"}, {"Dora", "Anna"}, "Calls: 2 of 4"},
      {"1", {"Dora", "Anna"}, {"Dora", "Anna"}, "Calls: 2 of 4"},
  };
  for (const auto& s : steps) {
    QTest::keyClicks(filter, s.typed);
    EXPECT_EQ(shown(), s.rows) << s.typed;
    EXPECT_EQ(selectedUsers(), s.selected) << s.typed;
    EXPECT_TRUE(view.SummaryText().startsWith(s.calls)) << view.SummaryText().toStdString();
  }
  filter->clear();
  QTest::keyClicks(filter, "M\xC3\x9C");  // "MÜ": Windows-1252 letters in any case
  EXPECT_EQ(shown(), (std::vector<std::string>{"Anna"}));
  EXPECT_EQ(selectedUsers(), (std::vector<std::string>{"Anna"}));

  // Rows map to the calls shown in them: the second row of "<0" is Bob, not Carl.
  filter->setText("<0");
  ASSERT_EQ(shown(), (std::vector<std::string>{"Dora", "Bob"}));
  view.Table()->selectRow(1);
  EXPECT_EQ(selectedUsers(), (std::vector<std::string>{"Bob"}));
  view.Remove();
  EXPECT_EQ(Users(view), (std::vector<std::string>{"Dora", "Carl", "Anna"}));
  EXPECT_EQ(shown(), (std::vector<std::string>{"Dora"}));
  EXPECT_TRUE(view.SummaryText().startsWith("Calls: 1 of 3"));
  view.SelectAll();
  EXPECT_EQ(selectedUsers(), (std::vector<std::string>{"Dora"}));

  // Esc clears the filter and every call is shown again, the selection kept.
  QTest::keyClick(filter, Qt::Key_Escape);
  EXPECT_TRUE(filter->text().isEmpty());
  EXPECT_EQ(shown(), (std::vector<std::string>{"Dora", "Carl", "Anna"}));
  EXPECT_EQ(selectedUsers(), (std::vector<std::string>{"Dora"}));
  EXPECT_TRUE(view.SummaryText().startsWith("Calls: 3 "));
}
