#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMenu>
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
#include "core/Singleton.h"
#include "recording/CKlRecordFile.h"
#include "recording/CRecordingWriter.h"
#include "support/TestSupport.h"
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
    zelgui::SetNotificationTarget(nullptr);
  }
  static CPlaybackManager& Manager() { return *Singleton<CPlaybackManager>::Instance(); }

  std::string Make(const std::string& name, int seconds, int bmStart = -1, int bmEnd = -1, uint32_t important = 0,
                   int32_t formatTag = 6) {
    RecordingDescription d;
    d.formatTag = formatTag;
    d.callerId = "0171 555 0199";
    d.comment = "Call back on Monday";
    d.bookmarkStart = bmStart;
    d.bookmarkEnd = bmEnd;
    d.important = important;
    auto pcm = CRecordingWriter::SynthesizeVoice(static_cast<size_t>(seconds) * 8000, 3);
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

  TempDir dir_;
  Receiver receiver_;
};

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
  zel::SetSaveFileChooser(old);
  zel::SetMessageSink(nullptr);
  EXPECT_FALSE(chooser->onGuiThread);
  EXPECT_FALSE(chooser->opened);
  EXPECT_EQ(Manager().Recording().Path(), path);
  EXPECT_EQ(sink->messages, std::vector<std::string>{"The call is still being written. Try again when it is done."});
  EXPECT_EQ(QFileInfo(QString::fromStdString(chooser->out)).size(), 44 + 3 * 16000);
  EXPECT_TRUE(form.OpenWithoutPlaying(chooser->other));
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
  zel::SetSaveFileChooser(old);
  QFile flac(QString::fromStdString(out + ".flac"));
  ASSERT_TRUE(flac.open(QIODevice::ReadOnly));
  EXPECT_EQ(flac.read(4), QByteArray("fLaC"));

  // The menus' even-loudness switch, one for both, is off at start and levels the file.
  EXPECT_EQ(texts.count(QStringLiteral("At Even Loudness")), 2);
  EXPECT_FALSE(form.EvenLoudnessExports());
  form.SetEvenLoudnessExports(true);
  zel::SetSaveFileChooser(std::make_shared<FixedChooser>(dir_.path() + "/level"));
  form.MailOrExportCompact(false, false, zel::CompactFormat::Flac);
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
