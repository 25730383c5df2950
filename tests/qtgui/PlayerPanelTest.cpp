#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QAccessible>
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QMenuBar>
#include <QMenu>
#include <QPainter>
#include <QPushButton>
#include <QStandardItemModel>
#include <QTableView>
#include <QTest>
#include <QTimer>
#include <QTreeView>
#include <QVBoxLayout>
#include <sys/stat.h>

#include <cstdlib>
#include <cstring>
#include <QImage>
#include <QMimeData>
#include <QSet>
#include <QThread>
#include <QUrl>

#include "audio/CPlaybackManager.h"
#include "audio/Loudness.h"
#include "audio/ISaveFileChooser.h"
#include "audio/ui/COutputScope.h"
#include "audio/ui/CPlayerBar.h"
#include "audio/ui/CPlayerForm.h"
#include "core/AuditTrail.h"
#include "core/Singleton.h"
#include "organiser/CZelVelomarDoc.h"
#include "organiser/ui/CZelVelomarView.h"
#include "audio/qt/QtWaveOut.h"
#include "recording/CKlRecordFile.h"
#include "recording/CKlRecordFileHdr.h"
#include "recording/CRecordingWriter.h"
#include "shell/CMainFrame.h"
#include "support/TestSupport.h"
#include "tests/audioout/FakeWaveOut.h"
#include "toolkit/ui/CProgressWnd.h"
#include "toolkit/ui/Notifications.h"

using namespace zeltest;

namespace {

class Receiver : public QObject {
 public:
  struct Got {
    int type;
    long long param;
    QString path;
  };
  std::vector<Got> got;

 protected:
  bool event(QEvent* e) override {
    const int type = static_cast<int>(e->type());
    if (type >= zelgui::kCreateListForFolders && type <= zelgui::kRepeatSearch) {
      auto* n = static_cast<zelgui::NotificationEvent*>(e);
      got.push_back({type, n->Param(), n->Path()});
      return true;
    }
    return QObject::event(e);
  }
};

class PlayerPanel : public ::testing::Test {
 protected:
  void SetUp() override { zelgui::SetNotificationTarget(&receiver_); }
  void TearDown() override {
    Manager().Close();
    Manager().SetWaveOutFactory(nullptr);
    Manager().SetFrameWindow(nullptr);
    zelgui::SetNotificationTarget(nullptr);
  }
  static CPlaybackManager& Manager() { return *Singleton<CPlaybackManager>::Instance(); }

  std::string Make(const std::string& name, int seconds, int bmStart = -1, int bmEnd = -1, uint32_t important = 0,
                   int32_t formatTag = 6, int voice = 3) {
    RecordingDescription d;
    d.formatTag = formatTag;
    d.callerId = "0171 555 0199";
    d.comment = "Call back on Monday";
    d.bookmarkStart = bmStart;
    d.bookmarkEnd = bmEnd;
    d.important = important;
    auto pcm = CRecordingWriter::SynthesizeVoice(static_cast<size_t>(seconds) * 8000, voice);
    std::string path = dir_.path() + "/" + name;
    EXPECT_TRUE(CRecordingWriter::Write(path, d, pcm.data(), pcm.size()));
    return path;
  }
  void Load(CPlayerForm& form, const std::string& path) {
    ASSERT_TRUE(Manager().Load(path));
    form.ShowRecording(path);
  }
  static bool StoredBookmark(const std::string& path, int& start, int& end) {
    CKlRecordFile file;
    EXPECT_EQ(file.LoadRecordingAndWait(path, ""), 1);
    return file.GetBookmark(start, end);
  }

  // A sound device whose clock moves when the test says, its notices delivered by the
  // receiver the program uses.
  std::shared_ptr<FakeDeviceControl> FakeDevice() {
    auto control = std::make_shared<FakeDeviceControl>();
    Manager().SetWaveOutFactory(FakeFactory(control));
    Manager().SetFrameWindow(&waveReceiver_);
    return control;
  }
  // Plays `ms` on the fake device with the message loop and the panel's timer going.
  static void Run(CPlayerForm& form, FakeDeviceControl& device, int ms) {
    for (int t = 0; t < ms; t += 200) {
      device.Advance(200);
      QCoreApplication::processEvents();
      form.OnTimer();
    }
  }

  TempDir dir_;
  Receiver receiver_;
  QtWaveNotifyReceiver waveReceiver_;
};

// Waits for the panel's export or mail, which runs beside the window, to end.
bool WaitForWriting(const CPlayerForm& form) {
  return QTest::qWaitFor([&form] { return !form.Writing(); }, 60000);
}

// Answers the save dialog that the panel's export asks for with `path`, as a user typing
// the name would, after holding it open `holdMs`, and waits for the export to end. The
// dialog runs its own event loop: the answer comes from a timer that fires inside it.
// False when no dialog came, or when a progress window showed while it was open.
bool SaveThroughDialog(const CPlayerForm& form, const QString& path, int holdMs = 0) {
  bool answered = false, progressShown = false;
  QElapsedTimer open;
  QTimer poll;
  QObject::connect(&poll, &QTimer::timeout, [&] {
    const QWidgetList windows = QApplication::topLevelWidgets();
    const auto found = std::find_if(windows.begin(), windows.end(),
                                    [](QWidget* w) { return qobject_cast<QFileDialog*>(w) && w->isVisible(); });
    if (found == windows.end()) return;
    auto* dialog = static_cast<QFileDialog*>(*found);
    for (QWidget* w : windows) progressShown |= w != dialog && w->isVisible() && w->isModal();
    if (!open.isValid()) open.start();
    auto* name = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
    if (!name || open.elapsed() < holdMs) return;
    poll.stop();
    name->setText(path);
    answered = true;
    QMetaObject::invokeMethod(dialog, "accept");
  });
  poll.start(20);
  return WaitForWriting(form) && answered && !progressShown;
}

}  // namespace

TEST_F(PlayerPanel, BookmarkCycleWritesTruncatedSecondsAndAnnouncesThem) {
  CPlayerForm form;
  std::string path = Make("Anna-20260301.zel", 90);
  Load(form, path);

  // A span ending within the first second is shown but not written.
  Manager().Seek(0);
  form.BookmarkButton();
  Manager().Seek(4000);
  form.BookmarkButton();
  EXPECT_EQ(form.Bookmark(), CPlayerForm::BookmarkState::Clear);
  QCoreApplication::processEvents();
  EXPECT_TRUE(receiver_.got.empty());
  int s = -1, e = -1;
  EXPECT_FALSE(StoredBookmark(path, s, e));
  form.BookmarkButton();  // clear
  QCoreApplication::processEvents();
  receiver_.got.clear();

  // Marked end before start: swapped. 12.9 s .. 61.2 s is stored as 12 .. 61.
  Manager().Seek(489600);
  form.BookmarkButton();
  Manager().Seek(103200);
  form.BookmarkButton();
  EXPECT_EQ(form.MarkStart(), 103200);
  EXPECT_EQ(form.MarkEnd(), 489600);
  EXPECT_TRUE(form.IndicatorShown(1));
  QCoreApplication::processEvents();
  ASSERT_EQ(receiver_.got.size(), 1u);
  EXPECT_EQ(receiver_.got[0].type, 0xA043);
  EXPECT_EQ(receiver_.got[0].param, (61LL << 16) | 12);
  EXPECT_EQ(receiver_.got[0].path.toStdString(), path);
  ASSERT_TRUE(StoredBookmark(path, s, e));
  EXPECT_EQ(s, 12);
  EXPECT_EQ(e, 61);

  form.BookmarkButton();  // clear
  QCoreApplication::processEvents();
  ASSERT_EQ(receiver_.got.size(), 2u);
  EXPECT_EQ(receiver_.got[1].param, -1);
  EXPECT_FALSE(StoredBookmark(path, s, e));
  EXPECT_FALSE(form.IndicatorShown(1));
  EXPECT_EQ(form.Bookmark(), CPlayerForm::BookmarkState::MarkStart);
}

TEST_F(PlayerPanel, MarkImportantTogglesTheHeaderAndAnnouncesIt) {
  CPlayerForm form;
  std::string path = Make("Dora-20260301.zel", 5);
  Load(form, path);
  form.MarkImportant();
  form.MarkImportant();
  QCoreApplication::processEvents();
  ASSERT_EQ(receiver_.got.size(), 2u);
  EXPECT_EQ(receiver_.got[0].type, 0xA042);
  EXPECT_EQ(receiver_.got[0].param, 0);
  EXPECT_EQ(receiver_.got[1].param, 1);
  EXPECT_FALSE(form.IndicatorShown(0));
  form.MarkImportant();
  Manager().Close();
  CKlRecordFile file;
  ASSERT_EQ(file.LoadRecordingAndWait(path, ""), 1);
  EXPECT_EQ(file.Header().Important(), 1u);
}

namespace {
class FixedChooser : public ISaveFileChooser {
 public:
  explicit FixedChooser(std::string path) : path_(std::move(path)) {}
  std::optional<SaveFileChoice> ChooseSaveFile(const SaveFileRequest&) override {
    return SaveFileChoice{path_, 1};  // the uncompressed WAV filter
  }

 private:
  std::string path_;
};
}  // namespace

TEST_F(PlayerPanel, ExportOfACallStillDecodingWaitsForTheWholeCall) {
  CPlayerForm form;
  const int seconds = 900;
  std::string path = Make("Emil-20260301.zel", seconds, -1, -1, 0, 49);
  const std::string out = dir_.path() + "/whole.wav";
  auto old = zel::SaveFileChooser();
  zel::SetSaveFileChooser(std::make_shared<FixedChooser>(out));
  Load(form, path);
  form.MailOrExport(false, false, true);
  EXPECT_TRUE(WaitForWriting(form));
  zel::SetSaveFileChooser(old);
  QFileInfo wav(QString::fromStdString(out));
  ASSERT_TRUE(wav.exists());
  EXPECT_GE(wav.size(), static_cast<qint64>(seconds) * 8000 * 2);
}

// An export runs beside the window: the save dialog is asked from another thread, the
// window goes on with its events meanwhile, and the call it writes stays loaded.
TEST_F(PlayerPanel, ExportsRunBesideTheWindowAndKeepTheCallLoaded) {
  struct AskingChooser : ISaveFileChooser {
    std::optional<SaveFileChoice> ChooseSaveFile(const SaveFileRequest&) override {
      onGuiThread = QThread::currentThread() == qApp->thread();
      QMetaObject::invokeMethod(form, [this] { opened = form->OpenWithoutPlaying(other); },
                                Qt::BlockingQueuedConnection);
      return SaveFileChoice{out, 1};
    }
    CPlayerForm* form = nullptr;
    std::string other, out;
    bool onGuiThread = true, opened = true;
  };
  auto sink = std::make_shared<RecordingSink>();
  zel::SetMessageSink(sink);
  CPlayerForm form;
  const std::string path = Make("Hal-20260301.zel", 3);
  auto chooser = std::make_shared<AskingChooser>();
  chooser->form = &form;
  chooser->other = Make("Ida-20260301.zel", 3);
  chooser->out = dir_.path() + "/beside.wav";
  auto old = zel::SaveFileChooser();
  zel::SetSaveFileChooser(chooser);
  Load(form, path);
  form.MailOrExport(false, false, true);
  EXPECT_TRUE(form.Writing()) << "the command returns to the event loop at once";
  EXPECT_TRUE(WaitForWriting(form));
  zel::SetSaveFileChooser(old);
  zel::SetMessageSink(nullptr);
  EXPECT_FALSE(chooser->onGuiThread);
  EXPECT_FALSE(chooser->opened);
  EXPECT_EQ(Manager().Recording().Path(), path);
  EXPECT_EQ(sink->messages, std::vector<std::string>{"The call is still being written. Try again when it is done."});
  EXPECT_EQ(QFileInfo(QString::fromStdString(chooser->out)).size(), 44 + 3 * 16000);
  EXPECT_TRUE(form.OpenWithoutPlaying(chooser->other));
}

// Cancel in the progress window, while an export waits for the decoding or levels the
// call, ends it without a file or a message.
TEST_F(PlayerPanel, CancelEndsAnExportWithoutAFileOrAMessage) {
  auto sink = std::make_shared<RecordingSink>();
  zel::SetMessageSink(sink);
  CPlayerForm form;
  const std::string out = dir_.path() + "/cancelled.wav";
  auto old = zel::SaveFileChooser();
  zel::SetSaveFileChooser(std::make_shared<FixedChooser>(out));
  for (bool level : {false, true}) {
    // Long calls: one still decoding when the export starts, one long to level.
    Load(form, Make(level ? "Uma-20260301.zel" : "Ute-20260301.zel", 900, -1, -1, 0, level ? 6 : 49));
    if (level) {
      ASSERT_TRUE(Manager().FinishDecoding());
    }
    ASSERT_NE(Manager().Recording().IsReady(), !level) << "the decoding outran the test";
    form.SetEvenLoudnessExports(level);
    form.MailOrExport(false, false, true);
    // Cancelled by the button, and by Esc.
    CProgressWnd* progress = form.findChildren<CProgressWnd*>().back();
    if (level)
      QTest::keyClick(progress, Qt::Key_Escape);
    else
      progress->findChild<QPushButton*>()->click();
    EXPECT_TRUE(WaitForWriting(form));
    EXPECT_FALSE(QFileInfo::exists(QString::fromStdString(out))) << level;
  }
  zel::SetSaveFileChooser(old);
  zel::SetMessageSink(nullptr);
  EXPECT_EQ(sink->messages, std::vector<std::string>{});
}

// The export and mail menus offer the compact formats beside WAV and native.
TEST_F(PlayerPanel, CompactFormatsAreOfferedAndWritten) {
  CPlayerForm form;
  QStringList texts;
  for (QMenu* menu : form.findChildren<QMenu*>()) {
    for (QAction* action : menu->actions()) texts << action->text();
  }
  for (const char* text : {"Export Whole Call as FLAC...", "Mail Bookmarked Span as OPUS...", "Export Whole Call as MP3..."}) {
    EXPECT_TRUE(texts.contains(QString::fromLatin1(text))) << text;
  }
  std::string path = Make("Gina-20260301.zel", 3);
  const std::string out = dir_.path() + "/whole";
  auto old = zel::SaveFileChooser();
  zel::SetSaveFileChooser(std::make_shared<FixedChooser>(out));
  Load(form, path);
  form.MailOrExportCompact(false, false, zel::CompactFormat::Flac);
  EXPECT_TRUE(WaitForWriting(form));
  zel::SetSaveFileChooser(old);
  QFile flac(QString::fromStdString(out + ".flac"));
  ASSERT_TRUE(flac.open(QIODevice::ReadOnly));
  EXPECT_EQ(flac.read(4), QByteArray("fLaC"));
  const auto trail = zel::AuditTrail().Read({path, "", ""});
  ASSERT_FALSE(trail.empty());
  EXPECT_EQ(trail.back().action + " " + trail.back().detail, "export flac");

  // The menus' even-loudness switch, one for both, is off at start and levels the file.
  EXPECT_EQ(texts.count(QStringLiteral("At Even Loudness")), 2);
  EXPECT_FALSE(form.EvenLoudnessExports());
  form.SetEvenLoudnessExports(true);
  zel::SetSaveFileChooser(std::make_shared<FixedChooser>(dir_.path() + "/level"));
  form.MailOrExportCompact(false, false, zel::CompactFormat::Flac);
  EXPECT_TRUE(WaitForWriting(form));
  zel::SetSaveFileChooser(old);
  const CommandResult raw = RunShell("sox " + ShellQuote(dir_.path() + "/level.flac") + " -t s16 -");
  ASSERT_EQ(raw.out.size(), 3u * 16000);
  std::vector<int16_t> samples(raw.out.size() / 2);
  std::memcpy(samples.data(), raw.out.data(), raw.out.size());
  EXPECT_NEAR(*zel::MeasureLoudness(samples.data(), samples.size()), zel::kTargetLoudness, 1.0);
}

namespace {
class AnsweringSink : public RecordingSink {
 public:
  Answer answer = Answer::Yes;
  Answer AskYesNo(const std::string& text, const std::string&) override {
    messages.push_back(text);
    return answer;
  }
};
}  // namespace

TEST_F(PlayerPanel, DeleteAsksThenMovesTheCallToTheTrash) {
  auto sink = std::make_shared<AnsweringSink>();
  zel::SetMessageSink(sink);
  CPlayerForm form;
  // Beside the sandbox's data folder, so that the trash used is the sandbox's own.
  const std::string data = std::getenv("XDG_DATA_HOME");
  ASSERT_TRUE(QDir().mkpath(QString::fromStdString(data)));
  std::string path = data + "/Finn-20260301.zel";
  ASSERT_TRUE(QFile::copy(QString::fromStdString(Make("Finn-20260301.zel", 3)), QString::fromStdString(path)));
  Load(form, path);
  sink->answer = IMessageSink::Answer::No;
  form.Delete();
  EXPECT_TRUE(QFileInfo::exists(QString::fromStdString(path)));
  sink->answer = IMessageSink::Answer::Yes;
  form.Delete();
  zel::SetMessageSink(nullptr);
  ASSERT_EQ(sink->messages.size(), 2u);
  EXPECT_EQ(sink->messages[0], "This will delete 1 call(s)\n\nAre you sure?");
  EXPECT_FALSE(QFileInfo::exists(QString::fromStdString(path)));
  EXPECT_TRUE(QFileInfo::exists(QString::fromStdString(data + "/Trash/files/Finn-20260301.zel")));
  EXPECT_FALSE(Manager().IsLoaded());
  EXPECT_TRUE(form.Title().isEmpty());
  QCoreApplication::processEvents();
  ASSERT_EQ(receiver_.got.size(), 1u);
  EXPECT_EQ(receiver_.got[0].type, 0xA042);
  EXPECT_EQ(receiver_.got[0].param, 2);
}

TEST_F(PlayerPanel, SteppingPastEitherEndStopsAndRewinds) {
  CPlayerForm form;
  Load(form, Make("Ben-20260301.zel", 90));
  Manager().Seek(5 * 8000);
  form.Step(-CPlayerForm::kStep10);
  EXPECT_EQ(Manager().Position(), 0);
  EXPECT_EQ(form.Scope()->Position(), 0);

  Manager().Seek(20 * 8000);
  form.Step(CPlayerForm::kStep10);
  EXPECT_EQ(Manager().Position(), 30 * 8000);
  EXPECT_EQ(form.PositionText(), "00:00:30");

  Manager().Seek(70 * 8000);
  form.Step(CPlayerForm::kStep30);
  EXPECT_EQ(Manager().Position(), 0);
  EXPECT_EQ(form.PositionText(), "00:00:00");
  EXPECT_FALSE(Manager().IsPlaying());
}

TEST_F(PlayerPanel, AcceptsADropOfExactlyOneRecording) {
  auto mime = [](QStringList files) {
    auto* m = new QMimeData;
    QList<QUrl> urls;
    for (const QString& f : files) urls << QUrl::fromLocalFile(f);
    m->setUrls(urls);
    return std::unique_ptr<QMimeData>(m);
  };
  EXPECT_TRUE(CPlayerForm::AcceptsDrop(mime({"/tmp/a.zel"}).get()));
  EXPECT_TRUE(CPlayerForm::AcceptsDrop(mime({"/tmp/a.ZEL"}).get()));
  EXPECT_FALSE(CPlayerForm::AcceptsDrop(mime({"/tmp/a.zel", "/tmp/b.zel"}).get()));
  EXPECT_FALSE(CPlayerForm::AcceptsDrop(mime({"/tmp/a.wav"}).get()));
  EXPECT_FALSE(CPlayerForm::AcceptsDrop(mime({}).get()));
}

TEST_F(PlayerPanel, RendersALoadedRecordingWithNamedControls) {
  CPlayerBar bar;
  bar.resize(800, CPlayerBar::kHeight);
  std::string path = Make("Clara-20260302-1015.zel", 150, 20, 75, 1);
  Load(*bar.Form(), path);
  Manager().Seek(100 * 8000);
  bar.Form()->OnTimer();
  bar.show();
  QCoreApplication::processEvents();

  EXPECT_EQ(bar.Form()->Title(), "File - Clara-20260302-1015.zel");
  EXPECT_TRUE(bar.Form()->IndicatorShown(0));
  EXPECT_TRUE(bar.Form()->IndicatorShown(1));
  EXPECT_TRUE(bar.Form()->IndicatorShown(2));
  EXPECT_FALSE(bar.Form()->IndicatorShown(3));
  EXPECT_EQ(bar.height(), CPlayerBar::kHeight);
  for (QAbstractButton* b : bar.findChildren<QAbstractButton*>())
    EXPECT_FALSE(b->accessibleName().isEmpty()) << b->toolTip().toStdString();
  // Screen readers read the labels' texts and the indicators' states.
  QStringList read;
  for (QLabel* label : bar.findChildren<QLabel*>()) read << QAccessible::queryAccessibleInterface(label)->text(QAccessible::Name);
  for (const char* text : {"0171 555 0199", "00:02:30", "00:01:40", "Important", "Bookmarked", "Commented", "Not encrypted"})
    EXPECT_TRUE(read.contains(QString::fromUtf8(text))) << text << " in " << read.join('|').toStdString();

  QImage img = bar.grab().toImage();
  const std::string png = QCoreApplication::applicationDirPath().toStdString() + "/player-panel.png";
  ASSERT_TRUE(img.save(QString::fromStdString(png)));
  QSet<QRgb> colours;
  for (int y = 0; y < img.height(); y += 2)
    for (int x = 0; x < img.width(); x += 2) colours.insert(img.pixel(x, y));
  EXPECT_GT(colours.size(), 8);
  // The waveform shows both green and the blue bookmarked span.
  EXPECT_TRUE(colours.contains(qRgb(0, 255, 0)));
  EXPECT_TRUE(colours.contains(qRgb(0, 0, 255)));
}

// The main window hands the device's notices to the manager: a call plays to its end at
// every speed, in about its length divided by the speed, then stops and rewinds.
TEST_F(PlayerPanel, PlaysToItsEndAtEverySpeedThenStopsAndRewinds) {
  auto device = FakeDevice();
  CMainFrame frame;  // with the receiver of its own
  CPlayerForm& form = *frame.Player();
  const std::string path = Make("Jo-20260301.zel", 12);
  for (int tenths : {10, 20, 5}) {
    form.SetSpeed(tenths);
    ASSERT_TRUE(form.OpenAndPlay(path));
    int ms = 0;
    for (; Manager().IsPlaying() && ms < 40000; ms += 200) Run(form, *device, 200);
    EXPECT_FALSE(Manager().IsPlaying()) << tenths;
    EXPECT_EQ(Manager().Position(), 0) << tenths;
    EXPECT_EQ(form.PositionText(), QStringLiteral("00:00:00")) << tenths;
    EXPECT_NEAR(ms, 12000 * 10 / tenths, 1000) << tenths;
  }
  form.SetSpeed(10);
  // One line in the audit trail for each time the call was started.
  const auto trail = zel::AuditTrail().Read({path, "", ""});
  EXPECT_EQ(trail.size(), 3u);
  for (const auto& record : trail) EXPECT_EQ(record.action, "play");
}

// Play pressed while a long call is still decoding starts it once it can play.
TEST_F(PlayerPanel, PlayWaitingForTheDecodingStartsOnceTheCallCanPlay) {
  FakeDevice();
  CPlayerForm form;
  ASSERT_TRUE(Manager().Load(Make("Kai-20260301.zel", 900, -1, -1, 0, 49)));
  ASSERT_FALSE(Manager().CanPlay()) << "the decoding outran the test";
  form.Play();
  EXPECT_TRUE(form.PlayPending());
  for (int i = 0; i < 500 && !Manager().IsPlaying(); ++i) QTest::qWait(10);
  EXPECT_TRUE(Manager().IsPlaying());
  EXPECT_FALSE(form.PlayPending());
}

// With no chooser of its own, the program asks through Qt's save dialog for every
// export of the panel and for the list's Export... of one call.
TEST_F(PlayerPanel, EveryExportAsksThroughTheSaveDialogAndWritesTheFile) {
  zel::SetSaveFileChooser(nullptr);
  CMainFrame frame;
  CPlayerForm& form = *frame.Player();
  const std::string path = Make("Lea-20260301.zel", 4, 1, 3);
  ASSERT_TRUE(form.OpenWithoutPlaying(path));
  struct Case {
    const char* ext;
    std::function<void(bool span)> run;
  };
  std::vector<Case> cases = {{"wav", [&](bool span) { form.MailOrExport(false, span, true); }},
                             {"zel", [&](bool span) { form.MailOrExport(false, span, false); }}};
  for (zel::CompactFormat format : {zel::CompactFormat::Mp3, zel::CompactFormat::Opus, zel::CompactFormat::Flac}) {
    if (zel::CompactFormatAvailable(format))
      cases.push_back({zel::CompactName(format), [&form, format](bool span) { form.MailOrExportCompact(false, span, format); }});
  }
  int n = 0;
  for (const Case& c : cases) {
    for (bool span : {false, true}) {
      const QString out = QString::fromStdString(dir_.path()) + QStringLiteral("/out%1.%2").arg(++n).arg(c.ext);
      c.run(span);
      // The first dialog stays open past the moment the progress window would show.
      EXPECT_TRUE(SaveThroughDialog(form, out, n == 1 ? 600 : 0)) << c.ext << span;
      EXPECT_GT(QFileInfo(out).size(), 44) << c.ext << span;
    }
  }
  frame.OpenRecordingList({path});
  ASSERT_EQ(frame.Views().size(), 1u);
  CZelVelomarView* list = frame.Views().front();
  list->SelectIndices({0});
  const QString copy = QString::fromStdString(dir_.path()) + QStringLiteral("/list.zel");
  list->ExportSelected();
  EXPECT_TRUE(SaveThroughDialog(form, copy));
  EXPECT_EQ(QFileInfo(copy).size(), QFileInfo(QString::fromStdString(path)).size());
  zel::SetSaveFileChooser(nullptr);
}

// The waveform shows the samples of the call now shown: after a switch to a call of the
// same length, and as a long call goes on decoding.
TEST_F(PlayerPanel, WaveformFollowsTheDecodingOfTheCallShown) {
  CPlayerForm form;
  COutputScope& scope = *form.Scope();
  scope.resize(600, 120);
  QImage image(scope.size(), QImage::Format_RGB32);
  auto shows = [&] {
    QPainter painter(&image);
    scope.Paint(painter);
    const CKlRecordFile& rec = Manager().Recording();
    const int16_t* samples = nullptr;
    const int n = rec.GetSamples(0, rec.SampleCount(), &samples);
    std::vector<CScopeColumns::Column> expected;
    CScopeColumns::Compute(samples, n, n, scope.Area().width(), expected);
    const auto& got = scope.Columns().Columns();
    return got.size() == expected.size() &&
           std::equal(got.begin(), got.end(), expected.begin(),
                      [](auto a, auto b) { return a.min == b.min && a.max == b.max; });
  };
  Load(form, Make("Mo-20260301.zel", 60));
  EXPECT_TRUE(shows());
  Load(form, Make("Mia-20260301.zel", 60, -1, -1, 0, 6, 8));
  EXPECT_TRUE(shows());
  Load(form, Make("Max-20260301.zel", 900, -1, -1, 0, 49));
  Manager().Recording().WaitForDecodedCount(CPlaybackManager::kPlayableSamples + 8000, 10000);
  shows();
  ASSERT_FALSE(Manager().Recording().IsReady()) << "the decoding outran the test";
  ASSERT_TRUE(Manager().FinishDecoding());
  EXPECT_TRUE(shows());
}

// The transport keys work with the focus anywhere in the window, a list included,
// and leave the keys that the focused control needs to it, and other windows alone.
TEST_F(PlayerPanel, TransportKeysWorkAnywhereButInControlsThatNeedThem) {
  auto device = FakeDevice();
  QMainWindow window;
  auto* bar = new CPlayerBar(&window);
  window.addDockWidget(Qt::BottomDockWidgetArea, bar);
  auto* central = new QWidget(&window);
  auto* layout = new QVBoxLayout(central);
  QStandardItemModel model(2, 2);
  auto* table = new QTableView;
  auto* tree = new QTreeView;
  table->setModel(&model);
  tree->setModel(&model);
  auto* edit = new QLineEdit;
  auto* button = new QPushButton(QStringLiteral("Other"));
  int clicks = 0;
  QObject::connect(button, &QPushButton::clicked, [&clicks] { ++clicks; });
  for (QWidget* w : std::initializer_list<QWidget*>{table, tree, edit, button}) layout->addWidget(w);
  window.setCentralWidget(central);
  window.show();
  window.activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
  QTableView elsewhere;  // in a window of its own
  elsewhere.setModel(&model);
  elsewhere.show();
  Load(*bar->Form(), Make("Ned-20260301.zel", 90));

  struct Case {
    QWidget* focus;
    QKeyCombination key;
    int seconds;   // the position after the key, from 20 s
    bool playing;  // after the key
  };
  const Case cases[] = {
      {table, Qt::Key_Right, 30, false},        {table, Qt::SHIFT | Qt::Key_Right, 50, false},
      {tree, Qt::Key_Right, 20, false},         {edit, Qt::Key_Left, 20, false},
      {edit, Qt::Key_Space, 20, false},         {button, Qt::Key_Space, 20, false},
      {&elsewhere, Qt::Key_Right, 20, false},   {window.menuBar(), Qt::Key_Right, 20, false},
      {table, Qt::Key_Space, 20, true},
      {bar->Form(), Qt::Key_Space, 20, true},
  };
  for (const Case& c : cases) {
    bar->Form()->Stop();
    Manager().Seek(20 * 8000);
    c.focus->setFocus();
    QTest::keyClick(c.focus, c.key.key(), c.key.keyboardModifiers());
    EXPECT_EQ(Manager().IsPlaying(), c.playing) << c.focus->metaObject()->className();
    if (!c.playing) {
      EXPECT_EQ(Manager().Position(), c.seconds * 8000) << c.focus->metaObject()->className();
    }
  }
  EXPECT_EQ(edit->text(), QStringLiteral(" "));
  EXPECT_EQ(clicks, 1);
  // Esc in the list stops and rewinds.
  table->setFocus();
  QTest::keyClick(table, Qt::Key_Escape);
  EXPECT_FALSE(Manager().IsPlaying());
  EXPECT_EQ(Manager().Position(), 0);
}

// Closing the panel, by its own Close or by View > Player Panel, stops and rewinds a
// call that plays or pauses.
TEST_F(PlayerPanel, ClosingThePanelStopsAndRewinds) {
  auto device = FakeDevice();
  CMainFrame frame;  // with the receiver of its own
  CPlayerForm& form = *frame.Player();
  const std::string path = Make("Ola-20260301.zel", 20);
  const std::function<void()> closes[] = {[&] { frame.PlayerBar()->close(); },
                                          [&] { frame.Command(CMainFrame::ID_VIEW_PLAYER_PANEL)->trigger(); }};
  for (const auto& close : closes) {
    frame.PlayerBar()->show();
    frame.UpdateCommands();
    ASSERT_TRUE(form.OpenAndPlay(path));
    Run(form, *device, 2000);
    form.Pause();
    close();
    EXPECT_FALSE(frame.PlayerBar()->isVisible());
    EXPECT_FALSE(Manager().IsPaused());
    EXPECT_FALSE(Manager().IsPlaying());
    EXPECT_EQ(Manager().Position(), 0);
  }
}

// "Mail Whole Call as Recording" hands the file itself to the mail client with the
// panel's fixed greeting, without waiting for its audio.
TEST_F(PlayerPanel, NativeMailOfTheWholeCallCarriesTheFixedGreeting) {
  const std::string args = dir_.File("args");
  WriteFile(dir_.File("xdg-email"), "#!/bin/sh\nfor a in \"$@\"; do printf '%s\\n' \"$a\" >> '" + args + "'; done\n");
  ASSERT_EQ(::chmod(dir_.File("xdg-email").c_str(), 0755), 0);
  ScopedEnv path("PATH", dir_.path() + ":" + std::getenv("PATH"));
  CPlayerForm form;
  const std::string call = Make("Pia-20260301.zel", 900, -1, -1, 0, 49);
  Load(form, call);
  form.MailOrExport(true, false, false);
  EXPECT_TRUE(WaitForWriting(form));
  EXPECT_FALSE(Manager().Recording().IsReady()) << "the file goes as it is, decoded or not";
  const std::string sent = ReadFile(args);
  EXPECT_NE(sent.find("--subject\nMy Recorded Calls\n"), std::string::npos) << sent;
  EXPECT_NE(sent.find("--attach\n" + call + "\n"), std::string::npos) << sent;
}

// A call whose audio was archived away says so in the panel, with its details.
TEST_F(PlayerPanel, CallWithArchivedAudioSaysSo) {
  CKlRecordFileHdr header;
  ASSERT_GT(header.LoadHeader(Make("Rae-20260301.zel", 3), ""), 0);
  const std::string headerOnly = dir_.File("Rae-20260302.zel");
  ASSERT_EQ(header.SaveHeader(headerOnly), 1);
  CPlayerForm form;
  EXPECT_FALSE(form.OpenWithoutPlaying(headerOnly));
  EXPECT_EQ(form.Title(), "File - Rae-20260302.zel");
  EXPECT_TRUE(form.Notice().contains(QStringLiteral("audio of this call was archived"))) << form.Notice().toStdString();
  EXPECT_TRUE(form.OpenWithoutPlaying(Make("Sam-20260301.zel", 3)));
  EXPECT_TRUE(form.Notice().isEmpty());
}
