#include "audio/ui/CPlayerForm.h"

#include <algorithm>
#include <atomic>
#include <memory>
#include <utility>

#include <QAbstractSlider>
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDragEnterEvent>
#include <QFileInfo>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QShortcut>
#include <QSpinBox>
#include <QTabBar>
#include <QTextEdit>
#include <QToolButton>
#include <QTreeView>
#include <QUrl>
#include <QVBoxLayout>

#include "audio/CPlaybackManager.h"
#include "audio/CPlayerState.h"
#include "audio/CRecordingEdits.h"
#include "audio/WavExport.h"
#include "recording/CBookmarkRecordFile.h"
#include "audio/ui/CLegalHoldDlg.h"
#include "audio/ui/COutputScope.h"
#include "audio/ui/CQtSaveFileChooser.h"
#include "audio/ui/IPlayerHost.h"
#include "core/CSettings.h"
#include "core/MessageSink.h"
#include "core/WriteTarget.h"
#include "core/Singleton.h"
#include "organiser/CCallHistory.h"
#include "organiser/CollectionCommands.h"
#include "organiser/CHotLists.h"
#include "recording/CKlRecordFileHdr.h"
#include "toolkit/ui/CIconSet.h"
#include "toolkit/ui/CProgressWnd.h"
#include "toolkit/ui/Notifications.h"

namespace {
const char* const kIndicatorIcons[4] = {"important", "bookmark", "comment", "encrypted"};
// Screen readers hear each indicator's state: its name when on, the second when off.
const char* const kIndicatorNames[4][2] = {{"Important", "Not important"},
                                           {"Bookmarked", "Not bookmarked"},
                                           {"Commented", "No comment"},
                                           {"Encrypted", "Not encrypted"}};

QString Hms(int seconds) {
  return QString::fromStdString(CKlRecordFileHdr::FormatHms(static_cast<uint32_t>(std::max(seconds, 0))));
}

bool Blank(const std::string& s) { return s.find_first_not_of(" \t\r\n") == std::string::npos; }
}  // namespace

CPlayerForm::CPlayerForm(QWidget* parent)
    : QWidget(parent), scope_(new COutputScope(this)), title_(new QLabel(this)), caller_(new QLabel(this)),
      duration_(new QLabel(this)), position_(new QLabel(this)), notice_(new QLabel(this)),
      state_(*Singleton<CPlaybackManager>::Instance()) {
  setAcceptDrops(true);
  setAccessibleName(QStringLiteral("Player Panel"));
  QFont bold = title_->font();
  bold.setBold(true);
  title_->setFont(bold);
  title_->setTextInteractionFlags(Qt::TextSelectableByMouse);
  // File names and callers come from files: never read them as rich text.
  for (QLabel* label : {title_, caller_, notice_}) label->setTextFormat(Qt::PlainText);

  auto* texts = new QHBoxLayout;
  texts->addWidget(title_, 1);
  texts->addWidget(caller_, 1);
  for (int i = 0; i < 4; ++i) {
    indicators_[i] = new QLabel(this);
    indicators_[i]->setFixedSize(16, 16);
    texts->addWidget(indicators_[i]);
  }
  texts->addSpacing(8);
  texts->addWidget(position_);
  separator_ = new QLabel(QStringLiteral("/"), this);
  separator_->hide();
  texts->addWidget(separator_);
  texts->addWidget(duration_);
  // A label's text is what a screen reader reads; the description says what it is.
  caller_->setAccessibleDescription(QStringLiteral("Caller"));
  position_->setAccessibleDescription(QStringLiteral("Position"));
  duration_->setAccessibleDescription(QStringLiteral("Duration"));
  notice_->setWordWrap(true);
  notice_->hide();

  back30_ = MakeButton("back30", "Step the call back 30 seconds", "Shift+Left");
  back10_ = MakeButton("back10", "Step the call back 10 seconds", "Left");
  play_ = MakeButton("play", "Play the call", "Space");
  pause_ = MakeButton("pause", "Pause playback of the call", "Space");
  stop_ = MakeButton("stop", "Stop playing the call", "Home, Esc");
  fwd10_ = MakeButton("forward10", "Step the call forward 10 seconds", "Right");
  fwd30_ = MakeButton("forward30", "Step the call forward 30 seconds", "Shift+Right");
  markStartBtn_ = MakeButton("bookmark-start", "Mark the start of the bookmark", "B");
  markEndBtn_ = MakeButton("bookmark-end", "Mark the end of the bookmark", "B");
  clearBtn_ = MakeButton("bookmark-clear", "Clear the bookmark", "B");
  mailBtn_ = MakeButton("mail", "Mail the call", QString());
  exportBtn_ = MakeButton("export", "Export the call", QString());
  moreBtn_ = MakeButton("more", "Other commands", QString());

  connect(back30_, &QToolButton::clicked, this, [this] { Step(-kStep30); });
  connect(back10_, &QToolButton::clicked, this, [this] { Step(-kStep10); });
  connect(play_, &QToolButton::clicked, this, &CPlayerForm::Play);
  connect(pause_, &QToolButton::clicked, this, &CPlayerForm::Pause);
  connect(stop_, &QToolButton::clicked, this, &CPlayerForm::Stop);
  connect(fwd10_, &QToolButton::clicked, this, [this] { Step(kStep10); });
  connect(fwd30_, &QToolButton::clicked, this, [this] { Step(kStep30); });
  for (QToolButton* b : {markStartBtn_, markEndBtn_, clearBtn_})
    connect(b, &QToolButton::clicked, this, &CPlayerForm::BookmarkButton);

  mailMenu_ = new QMenu(this);
  exportMenu_ = new QMenu(this);
  levelExports_ = new QAction(QStringLiteral("At Even Loudness"), this);
  levelExports_->setCheckable(true);
  levelExports_->setToolTip(
      QStringLiteral("Bring WAV, MP3, Opus and FLAC files to -16 LUFS; Recording copies keep their own audio"));
  for (int m = 0; m < 2; ++m) {
    QMenu* menu = m == 0 ? mailMenu_ : exportMenu_;
    const bool mail = m == 0;
    const QString verb = mail ? QStringLiteral("Mail") : QStringLiteral("Export");
    for (bool span : {false, true}) {
      const QString what = verb + (span ? QStringLiteral(" Bookmarked Span as ") : QStringLiteral(" Whole Call as "));
      // The data marks what needs a bookmark (see UpdateMenus).
      menu->addAction(what + QStringLiteral("WAV..."), this, [this, mail, span] { MailOrExport(mail, span, true); })
          ->setData(span);
      menu->addAction(what + QStringLiteral("Recording..."), this, [this, mail, span] { MailOrExport(mail, span, false); })
          ->setData(span);
      for (zel::CompactFormat format : {zel::CompactFormat::Mp3, zel::CompactFormat::Opus, zel::CompactFormat::Flac}) {
        if (!zel::CompactFormatAvailable(format)) continue;
        menu->addAction(what + QString::fromLatin1(zel::CompactName(format)).toUpper() + QStringLiteral("..."), this,
                        [this, mail, span, format] { MailOrExportCompact(mail, span, format); })
            ->setData(span);
      }
      menu->addSeparator();
    }
    menu->addAction(levelExports_);
    menu->setToolTipsVisible(true);
  }
  moreMenu_ = new QMenu(this);
  importantAction_ = moreMenu_->addAction(CIconSet::Icon("important"), QStringLiteral("Mark Important\tCtrl+I"),
                                          this, &CPlayerForm::MarkImportant);
  deleteAction_ = moreMenu_->addAction(CIconSet::Icon("delete"), QStringLiteral("Delete"), this, &CPlayerForm::Delete);
  moreMenu_->addSeparator();
  moreMenu_->addAction(CIconSet::Icon("review"), QStringLiteral("Add to Calls for Review..."), this,
                       &CPlayerForm::AddToCallsForReview);
  moreMenu_->addAction(CIconSet::Icon("history"), QStringLiteral("History..."), this, &CPlayerForm::History);
  moreMenu_->addSeparator();
  moreMenu_->addAction(CIconSet::Icon("hold"), QStringLiteral("Place on Legal Hold..."), this,
                       [this] { ChangeHold(true); });
  moreMenu_->addAction(QStringLiteral("Release Hold..."), this, [this] { ChangeHold(false); });
  moreMenu_->addSeparator();
  moreMenu_->addAction(CIconSet::Icon("close"), QStringLiteral("Close"), this, &CPlayerForm::CloseRecording);
  connect(mailBtn_, &QToolButton::clicked, this, [this] { UpdateMenus(); mailBtn_->showMenu(); });
  connect(exportBtn_, &QToolButton::clicked, this, [this] { UpdateMenus(); exportBtn_->showMenu(); });
  connect(moreBtn_, &QToolButton::clicked, this, [this] { UpdateMenus(); moreBtn_->showMenu(); });
  mailBtn_->setMenu(mailMenu_);
  exportBtn_->setMenu(exportMenu_);
  moreBtn_->setMenu(moreMenu_);
  for (QToolButton* b : {mailBtn_, exportBtn_, moreBtn_}) b->setPopupMode(QToolButton::DelayedPopup);

  speed_ = new QComboBox(this);
  for (int tenths = 5; tenths <= 20; ++tenths) {
    speed_->addItem(QStringLiteral("%1\u00d7").arg(tenths / 10.0, 0, 'f', 1), tenths);
  }
  speed_->setAccessibleName(QStringLiteral("Playback speed"));
  speed_->setToolTip(QStringLiteral("Playback speed, pitch kept ([ slower, ] faster, = normal)"));
  speed_->setFocusPolicy(Qt::ClickFocus);
  // Check boxes: on and off are told apart at a glance and by screen readers.
  skipSilence_ = new QCheckBox(QStringLiteral("Skip silence"), this);
  skipSilence_->setToolTip(QStringLiteral("Play pauses longer than 1.5 seconds as 0.3 seconds"));
  evenLoudness_ = new QCheckBox(QStringLiteral("Even loudness"), this);
  evenLoudness_->setToolTip(QStringLiteral("Bring every call to the same loudness"));
  for (QCheckBox* b : {skipSilence_, evenLoudness_}) {
    b->setAccessibleName(b->text());
    b->setFocusPolicy(Qt::TabFocus);
  }
  {
    auto& settings = *Singleton<CSettings>::Instance();
    speed_->setCurrentIndex(speed_->findData(settings.GetPlaybackSpeed()));
    skipSilence_->setChecked(settings.GetSkipSilence() != 0);
    evenLoudness_->setChecked(settings.GetEvenLoudness() != 0);
  }
  connect(speed_, &QComboBox::currentIndexChanged, this, [this] { ApplyPlaybackOptions(); });
  connect(skipSilence_, &QCheckBox::toggled, this, [this] { ApplyPlaybackOptions(); });
  connect(evenLoudness_, &QCheckBox::toggled, this, [this] { ApplyPlaybackOptions(); });
  ApplyPlaybackOptions();

  auto* buttons = new QHBoxLayout;
  for (QToolButton* b : {back30_, back10_, play_, pause_, stop_, fwd10_, fwd30_}) buttons->addWidget(b);
  buttons->addSpacing(12);
  for (QToolButton* b : {markStartBtn_, markEndBtn_, clearBtn_}) buttons->addWidget(b);
  buttons->addSpacing(12);
  buttons->addWidget(speed_);
  buttons->addWidget(skipSilence_);
  buttons->addWidget(evenLoudness_);
  buttons->addStretch(1);
  for (QToolButton* b : {mailBtn_, exportBtn_, moreBtn_}) buttons->addWidget(b);

  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(6, 4, 6, 4);
  layout->addLayout(texts);
  layout->addWidget(notice_);
  layout->addWidget(scope_, 1);
  layout->addLayout(buttons);

  // The transport keys work anywhere in the main window (a list window included)
  // unless the focused control needs the key itself (FocusKeepsKey); the others only
  // inside the panel, where Home is not a list's first row.
  auto transport = [this](QKeyCombination combination, auto fn) {
    auto* s = new QShortcut(QKeySequence(combination), this, this, fn, Qt::ApplicationShortcut);
    s->setAutoRepeat(false);
    transportKeys_.push_back(combination);
  };
  transport(Qt::Key_Space, [this] { TogglePlay(); });
  transport(Qt::Key_Left, [this] { Step(-kStep10); });
  transport(Qt::Key_Right, [this] { Step(kStep10); });
  transport(Qt::SHIFT | Qt::Key_Left, [this] { Step(-kStep30); });
  transport(Qt::SHIFT | Qt::Key_Right, [this] { Step(kStep30); });
  transport(Qt::Key_Escape, [this] { Stop(); });
  transport(Qt::Key_MediaTogglePlayPause, [this] { TogglePlay(); });
  transport(Qt::Key_MediaPlay, [this] { Play(); });
  transport(Qt::Key_MediaPause, [this] { Pause(); });
  transport(Qt::Key_MediaStop, [this] { Stop(); });
  qApp->installEventFilter(this);
  auto key = [this](const char* seq, auto fn) {
    auto* s = new QShortcut(QKeySequence(QString::fromLatin1(seq)), this, this, fn, Qt::WidgetWithChildrenShortcut);
    s->setAutoRepeat(false);
  };
  key("Home", [this] { Stop(); });
  key("B", [this] { BookmarkButton(); });
  key("Ctrl+I", [this] { MarkImportant(); });
  key("[", [this] { SetSpeed(Speed() - 1); });
  key("]", [this] { SetSpeed(Speed() + 1); });
  key("=", [this] { SetSpeed(10); });

  // Exports ask for their target through Qt's dialog unless the program chose otherwise.
  if (!zel::SaveFileChooserInstalled()) zel::SetSaveFileChooser(std::make_shared<CQtSaveFileChooser>());

  connect(&timer_, &QTimer::timeout, this, &CPlayerForm::OnTimer);
  timer_.start(200);
  pendingPlay_.setInterval(20);
  connect(&pendingPlay_, &QTimer::timeout, this, [this] {
    if (!Manager().IsLoaded()) {
      CancelPendingPlay();
    } else if (Manager().CanPlay()) {
      Play();
    }
  });
  ClearTexts();
}

CPlayerForm::~CPlayerForm() { qApp->removeEventFilter(this); }

bool CPlayerForm::FocusKeepsKey(const QObject* focus, QKeyCombination key) {
  if (!focus) return false;
  const bool space = key == QKeyCombination(Qt::Key_Space);
  const bool arrow = key.key() == Qt::Key_Left || key.key() == Qt::Key_Right;
  if (qobject_cast<const QLineEdit*>(focus) || qobject_cast<const QTextEdit*>(focus) ||
      qobject_cast<const QPlainTextEdit*>(focus) || qobject_cast<const QAbstractSpinBox*>(focus) ||
      qobject_cast<const QMenuBar*>(focus))
    return true;
  if (auto* combo = qobject_cast<const QComboBox*>(focus)) return combo->isEditable() || space;
  if (qobject_cast<const QAbstractButton*>(focus)) return space;
  // Sliders and tab bars move with the arrows, trees open and close with them.
  if (qobject_cast<const QAbstractSlider*>(focus) || qobject_cast<const QTabBar*>(focus) ||
      qobject_cast<const QTreeView*>(focus))
    return arrow;
  return false;
}

bool CPlayerForm::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::ShortcutOverride) {
    auto* key = static_cast<QKeyEvent*>(event);
    const QKeyCombination combination = key->keyCombination();
    auto* widget = qobject_cast<QWidget*>(watched);
    if (widget && std::find(transportKeys_.begin(), transportKeys_.end(), combination) != transportKeys_.end() &&
        (FocusKeepsKey(widget, combination) || !InPlayerWindow(widget))) {
      // Accepted, the key goes to the control instead of the shortcut.
      event->accept();
      return true;
    }
  }
  return QWidget::eventFilter(watched, event);
}

bool CPlayerForm::InPlayerWindow(const QWidget* widget) const {
  // The panel's own window, and the main window of a floating panel.
  for (const QWidget* w = this; w; w = w->parentWidget()) {
    if (w->window() == widget->window()) return true;
  }
  return false;
}

int CPlayerForm::Speed() const { return speed_->currentData().toInt(); }

void CPlayerForm::SetSpeed(int tenths) { speed_->setCurrentIndex(speed_->findData(std::clamp(tenths, 5, 20))); }

void CPlayerForm::SetSkipSilence(bool on) { skipSilence_->setChecked(on); }

void CPlayerForm::SetEvenLoudness(bool on) { evenLoudness_->setChecked(on); }

void CPlayerForm::ApplyPlaybackOptions() {
  CPlaybackChain::Options options;
  options.speed = Speed() / 10.0;
  options.skipSilence = skipSilence_->isChecked();
  options.normalise = evenLoudness_->isChecked();
  Manager().SetPlaybackOptions(options);
  auto& settings = *Singleton<CSettings>::Instance();
  if (settings.GetPlaybackSpeed() == Speed() && (settings.GetSkipSilence() != 0) == options.skipSilence &&
      (settings.GetEvenLoudness() != 0) == options.normalise) {
    return;
  }
  settings.SetPlaybackSpeed(Speed());
  settings.SetSkipSilence(options.skipSilence ? 1 : 0);
  settings.SetEvenLoudness(options.normalise ? 1 : 0);
  settings.Save();
}

CPlaybackManager& CPlayerForm::Manager() const { return *Singleton<CPlaybackManager>::Instance(); }

QToolButton* CPlayerForm::MakeButton(const QString& icon, const QString& tip, const QString& key) {
  auto* b = new QToolButton(this);
  b->setIcon(CIconSet::Icon(icon));
  b->setIconSize(QSize(16, 16));
  b->setAutoRaise(true);
  b->setToolTip(key.isEmpty() ? tip : tip + QStringLiteral(" (") + key + QLatin1Char(')'));
  b->setAccessibleName(tip);
  b->setFocusPolicy(Qt::TabFocus);
  return b;
}

QString CPlayerForm::Title() const { return title_->text(); }
QString CPlayerForm::PositionText() const { return position_->text(); }
QString CPlayerForm::Notice() const { return notice_->isHidden() ? QString() : notice_->text(); }
bool CPlayerForm::IndicatorShown(int index) const {
  return index >= 0 && index < 4 && !indicators_[index]->pixmap().isNull();
}

void CPlayerForm::SetIndicator(int index, bool on) {
  indicators_[index]->setPixmap(on ? CIconSet::Icon(kIndicatorIcons[index]).pixmap(16, 16) : QPixmap());
  indicators_[index]->setToolTip(on ? QString::fromLatin1(kIndicatorNames[index][0]) : QString());
  indicators_[index]->setAccessibleName(QString::fromLatin1(kIndicatorNames[index][on ? 0 : 1]));
}

void CPlayerForm::ShowBookmarkButton(BookmarkState state) {
  bookmarkState_ = state;
  markStartBtn_->setVisible(state == BookmarkState::MarkStart);
  markEndBtn_->setVisible(state == BookmarkState::MarkEnd);
  clearBtn_->setVisible(state == BookmarkState::Clear);
}

void CPlayerForm::UpdateButtons() {
  CPlaybackManager& m = Manager();
  const bool loaded = m.IsLoaded();
  for (QToolButton* b : {back30_, back10_, play_, pause_, fwd10_, fwd30_, markStartBtn_, markEndBtn_, clearBtn_,
                         mailBtn_, exportBtn_})
    b->setEnabled(loaded);
  // A play waiting for the decoding shows Pause, which cancels it.
  const bool running = m.IsPlaying() || pendingPlay_.isActive();
  stop_->setEnabled(loaded && (running || m.IsPaused()));
  play_->setVisible(!running);
  pause_->setVisible(running);
}

void CPlayerForm::CancelPendingPlay() {
  if (!pendingPlay_.isActive()) return;
  pendingPlay_.stop();
  UpdateButtons();
}

void CPlayerForm::UpdateMenus() {
  CSettings& settings = *Singleton<CSettings>::Instance();
  const bool loaded = Manager().IsLoaded();
  const bool blocked = settings.IsExportBlocked();
  int bs = -1, be = -1;
  const bool hasSpan = loaded && Manager().Recording().GetBookmark(bs, be);
  for (QMenu* menu : {mailMenu_, exportMenu_}) {
    const auto actions = menu->actions();
    for (QAction* action : actions) action->setEnabled(loaded && !blocked && (!action->data().toBool() || hasSpan));
  }
  // The key itself is the form's shortcut; the menu only shows it.
  importantAction_->setText(entry_.Important() ? QStringLiteral("Remove Important Mark\tCtrl+I")
                                                : QStringLiteral("Mark Important\tCtrl+I"));
  for (QAction* a : moreMenu_->actions()) a->setEnabled(loaded || a->text() == QStringLiteral("History..."));
  deleteAction_->setEnabled(loaded && !settings.IsDeleteDisabled());
}

void CPlayerForm::ClearTexts() {
  notice_->clear();
  notice_->hide();
  title_->clear();
  caller_->clear();
  duration_->clear();
  position_->clear();
  separator_->hide();
  for (int i = 0; i < 4; ++i) SetIndicator(i, false);
  markStart_ = markEnd_ = -1;
  scope_->SetMarks(-1, -1);
  scope_->SetTotal(0);
  ShowBookmarkButton(BookmarkState::MarkStart);
  UpdateButtons();
}

void CPlayerForm::ShowDetails(const std::string& path) {
  entry_ = CKlFileListEntry();
  entry_.SetPath(path);
  entry_.LoadDetails(Singleton<CSettings>::Instance()->GetPassphrase());
  title_->setText(QStringLiteral("File - %1.zel").arg(QFileInfo(QString::fromStdString(path)).completeBaseName()));
  caller_->setText(QString::fromUtf8(entry_.CallerIdText()));
  duration_->setText(QString::fromStdString(entry_.DurationText()));
  SetIndicator(0, entry_.Important() != 0);
  SetIndicator(2, !Blank(std::string(entry_.CommentText())));
  SetIndicator(3, entry_.Encrypted());
}

void CPlayerForm::ShowRecording(const std::string& path) {
  CPlaybackManager& m = Manager();
  ShowDetails(path);
  position_->setText(Hms(m.Position() / zel::kSamplesPerSecond));
  separator_->show();
  int bs = -1, be = -1;
  const bool hasBookmark = m.Recording().GetBookmark(bs, be);
  markStart_ = markEnd_ = -1;
  scope_->SetMarks(hasBookmark ? bs * zel::kSamplesPerSecond : -1, hasBookmark ? be * zel::kSamplesPerSecond : -1);
  SetIndicator(1, hasBookmark);
  scope_->SetTotal(m.Recording().SampleCount());
  scope_->SetPosition(m.Position());
  ShowBookmarkButton(hasBookmark ? BookmarkState::Clear : BookmarkState::MarkStart);
  UpdateButtons();
}

bool CPlayerForm::RefusedWhileWriting() const {
  // The progress window and the save dialog hold the input; a request from outside (a
  // second start naming files), or a click in the moment before the progress window
  // shows, gets here.
  if (writing_) zel::ShowMessage("The call is still being written. Try again when it is done.",
                                 IMessageSink::Icon::Warning);
  return writing_;
}

bool CPlayerForm::LoadAndShow(const std::string& path) {
  if (!Manager().Load(path)) {
    // Rather than a blank panel: the call's details and why it cannot be played.
    if (Manager().AudioArchived()) {
      ShowDetails(path);
      notice_->setText(QStringLiteral("The audio of this call was archived: this file keeps only its details."));
      notice_->show();
    }
    return false;
  }
  ShowRecording(path);
  return true;
}

bool CPlayerForm::OpenAndPlay(const std::string& path) {
  if (RefusedWhileWriting()) return false;
  CloseRecording();
  if (!LoadAndShow(path)) return false;
  Manager().PlayStop(true, false);
  Play();
  return true;
}

bool CPlayerForm::OpenWithoutPlaying(const std::string& path) {
  if (RefusedWhileWriting()) return false;
  CloseRecording();
  return LoadAndShow(path);
}

void CPlayerForm::Play() {
  CPlaybackManager& m = Manager();
  if (!m.CanPlay()) {
    // A call still decoding starts as soon as enough of it is ready.
    if (m.IsLoaded() && !m.IsPlaying() && !m.Recording().IsReady() && !pendingPlay_.isActive()) {
      pendingPlay_.start();
      UpdateButtons();
    }
    return;
  }
  pendingPlay_.stop();
  if (m.IsPaused())
    m.TogglePause();
  else
    m.PlayStop(true, false);
  const std::string& path = m.Recording().Path();
  Singleton<CCallHistory>::Instance()->AddPlayed(path);
  history_.erase(std::remove(history_.begin(), history_.end(), path), history_.end());
  history_.insert(history_.begin(), path);
  UpdateButtons();
}

void CPlayerForm::Pause() {
  CancelPendingPlay();
  CPlaybackManager& m = Manager();
  if (m.IsPlaying()) m.TogglePause();
  UpdateButtons();
}

void CPlayerForm::TogglePlay() {
  if (Manager().IsPlaying() || pendingPlay_.isActive())
    Pause();
  else
    Play();
}

void CPlayerForm::Stop() {
  CancelPendingPlay();
  CPlaybackManager& m = Manager();
  if (m.IsLoaded() && (m.IsPlaying() || m.IsPaused())) {
    m.PlayStop(false, true);
    scope_->SetPosition(0);
    position_->setText(Hms(0));
  }
  UpdateButtons();
}

void CPlayerForm::Step(int samples) {
  CPlaybackManager& m = Manager();
  if (!m.IsLoaded()) return;
  state_.Step(samples);
  const int pos = m.Position();
  scope_->SetPosition(pos);
  position_->setText(Hms(pos / zel::kSamplesPerSecond));
  UpdateButtons();
}

void CPlayerForm::BookmarkButton() {
  CPlaybackManager& m = Manager();
  if (!m.IsLoaded()) return;
  CKlRecordFile& rec = m.Recording();
  const QString path = QString::fromStdString(rec.Path());
  if (bookmarkState_ == BookmarkState::MarkStart) {
    markStart_ = m.Position();
    if (markEnd_ != -1) markStart_ = -1;
    scope_->SetMarks(markStart_, markEnd_);
    ShowBookmarkButton(BookmarkState::MarkEnd);
    return;
  }
  if (bookmarkState_ == BookmarkState::MarkEnd) {
    markEnd_ = m.Position();
    if (markEnd_ < markStart_) std::swap(markStart_, markEnd_);
    if (markEnd_ == markStart_) markStart_ = markEnd_ = -1;
    scope_->SetMarks(markStart_, markEnd_);
    ShowBookmarkButton(BookmarkState::Clear);
    if (markStart_ == -1 || markEnd_ <= zel::kSamplesPerSecond) return;
    const int startSec = markStart_ / zel::kSamplesPerSecond, endSec = markEnd_ / zel::kSamplesPerSecond;
    if (startSec >= endSec) return;  // within one second: no bookmark
    if (!Edits().SetBookmark(rec.Path(), startSec, endSec)) {
      zel::ShowMessage("Could not write the bookmark into " + rec.Path(), IMessageSink::Icon::Error);
      return;
    }
    SetIndicator(1, true);
    zelgui::PostNotification(zelgui::kBookmarkChanged, (static_cast<long long>(endSec) << 16) | startSec, path);
    return;
  }
  markStart_ = markEnd_ = -1;
  scope_->SetMarks(-1, -1);
  ShowBookmarkButton(BookmarkState::MarkStart);
  if (!Edits().SetBookmark(rec.Path(), -1, -1)) {
    zel::ShowMessage("Could not remove the bookmark from " + rec.Path(), IMessageSink::Icon::Error);
    return;
  }
  SetIndicator(1, false);
  zelgui::PostNotification(zelgui::kBookmarkChanged, -1, path);
}

CRecordingEdits CPlayerForm::Edits() {
  CRecordingEdits edits(&Manager(), Singleton<CSettings>::Instance()->GetPassphrase());
  edits.releasePlayer = [this] { CloseRecording(); };
  return edits;
}

void CPlayerForm::MarkImportant() {
  CPlaybackManager& m = Manager();
  if (!m.IsLoaded()) return;
  const std::string path = m.Recording().Path();
  const bool important = entry_.Important() == 0;
  if (!Edits().SetImportant(path, important)) {
    zel::ShowMessage("Could not write the important mark into " + path, IMessageSink::Icon::Error);
    return;
  }
  entry_.SetImportant(important ? 1 : 0);
  SetIndicator(0, important);
  zelgui::PostNotification(zelgui::kRecordingChanged, important ? 0 : 1, QString::fromStdString(path));
}

void CPlayerForm::Delete() {
  CPlaybackManager& m = Manager();
  if (!m.IsLoaded() || Singleton<CSettings>::Instance()->IsDeleteDisabled()) return;
  if (zel::MessageSink()->AskYesNo("This will delete 1 call(s)\n\nAre you sure?", "Zel Velomar") !=
      IMessageSink::Answer::Yes)
    return;
  const std::string path = m.Recording().Path();
  std::string refusal;
  if (!Edits().Trash(path, &refusal)) {
    if (!refusal.empty()) {
      zel::ShowMessage("The call " + path + " is kept: " + refusal, IMessageSink::Icon::Warning);
      return;
    }
    zel::ShowMessage("Failed to delete one or more files!\rPossibly it is Read Only?", IMessageSink::Icon::Error);
    return;
  }
  zelgui::PostNotification(zelgui::kRecordingChanged, 2, QString::fromStdString(path));
}

void CPlayerForm::ChangeHold(bool place) {
  CPlaybackManager& m = Manager();
  if (!m.IsLoaded()) return;
  const auto& header = m.Recording().Header();
  // An encrypted call's caller id is not offered: only the call itself can be held.
  const std::vector<CLegalHoldDlg::Call> call{
      {m.Recording().Path(), header.IsEncrypted() ? "" : header.CallerIdUtf8()}};
  if (place)
    CLegalHoldDlg::Place(this, call);
  else
    CLegalHoldDlg::Release(this, call);
}

void CPlayerForm::AddToCallsForReview() {
  CPlaybackManager& m = Manager();
  if (!m.IsLoaded()) return;
  int groupId = -1;
  if (!host_ || !host_->PickReviewGroup(this, groupId)) return;
  const std::string path = m.Recording().Path();
  CHotLists& store = *Singleton<CHotLists>::Instance();
  CollectionEntry link;
  link.id = store.NextId();
  link.parentId = groupId;
  link.name = zel::LinkLabel(path);
  link.target = path;
  if (!store.Add(link) || !store.Save()) {
    zel::ShowMessage("Could not add the call to the calls for review.", IMessageSink::Icon::Error);
    return;
  }
  zelgui::PostNotification(zelgui::kReviewTreeChanged, 0);
}

void CPlayerForm::History() {
  std::string play;
  if (!host_ || !host_->EditHistory(this, history_, play)) return;
  if (!play.empty()) OpenAndPlay(play);
}

void CPlayerForm::CloseRecording() {
  if (RefusedWhileWriting()) return;
  pendingPlay_.stop();
  CPlaybackManager& m = Manager();
  if (m.IsPlaying() || m.IsPaused()) m.PlayStop(false, true);
  m.Close();
  entry_ = CKlFileListEntry();
  ClearTexts();
}

void CPlayerForm::ShowProgress(const QString& text, int range, bool cancellable) {
  if (progress_) progress_->deleteLater();
  progress_ = new CProgressWnd(this, QStringLiteral("Zel Velomar"));
  progress_->SetText(text);
  progress_->SetRange(0, range);
  progress_->SetCancellable(cancellable);
  progress_->ShowAfter(300);
}

void CPlayerForm::EndWriting() {
  decodingPoll_.stop();
  // Later: this may run inside the window's own Cancel.
  if (progress_) progress_->deleteLater();
  progress_ = nullptr;
  writing_ = false;
}

void CPlayerForm::StartWriting(WriteJob job) {
  CPlaybackManager& m = Manager();
  if (writing_ || !m.IsLoaded() || Singleton<CSettings>::Instance()->IsExportBlocked()) return;
  zel::ClearLastWriteError();
  writing_ = true;
  CKlRecordFile& rec = m.Recording();
  if (!job.needsAudio || rec.IsReady()) {
    WriteBeside(std::move(job));
    return;
  }
  // The whole call is written from the decoded samples: the decode thread is watched
  // until it ends.
  ShowProgress(QStringLiteral("Decompressing the call..."), std::max(rec.SampleCount() / zel::kSamplesPerSecond, 1),
               true);
  connect(progress_, &CProgressWnd::cancelRequested, this, &CPlayerForm::EndWriting);
  decodingPoll_.disconnect();
  connect(&decodingPoll_, &QTimer::timeout, this, [this, &rec, job = std::move(job)] {
    if (!rec.WaitForDecoding(0)) {
      if (progress_) progress_->SetPos(rec.DecodedCount() / zel::kSamplesPerSecond);
      return;
    }
    decodingPoll_.stop();
    if (rec.IsReady()) {
      WriteBeside(job);
      return;
    }
    EndWriting();
    zel::ShowMessage("The call could not be decompressed.", IMessageSink::Icon::Error);
  });
  decodingPoll_.start(50);
}

void CPlayerForm::SetEvenLoudnessExports(bool on) { levelExports_->setChecked(on); }

bool CPlayerForm::EvenLoudnessExports() const { return levelExports_->isChecked(); }

void CPlayerForm::WriteBeside(WriteJob job) {
  // Only the levelling can stop half-way; the encoders run to their end.
  ShowProgress(job.level ? QStringLiteral("Writing the call at even loudness...") : QStringLiteral("Writing the call..."),
               0, job.level);
  auto stop = std::make_shared<std::atomic<bool>>(false);
  connect(progress_, &CProgressWnd::cancelRequested, this, [stop] { *stop = true; });
  // The call stays loaded until the work ends: RefusedWhileWriting keeps it.
  const CKlRecordFile& rec = Manager().Recording();
  writeTask_ = CAsyncTask::Run(
      this,
      [&rec, write = job.write, stop] {
        zel::ClearLastWriteError();
        const bool ok = write(rec, [stop] { return stop->load(); });
        return std::make_pair(ok, zel::LastWriteError());
      },
      [this, job, stop](const std::pair<bool, std::string>& result) {
        EndWriting();
        const auto& [ok, reason] = result;
        // A cancelled save dialog or levelling leaves no reason; anything else is shown.
        zel::SetLastWriteError(*stop ? std::string() : reason);
        if (ok) {
          zel::RecordTakenOut(Manager().Recording(), job.mail, job.format, job.span);
        } else if (!zel::LastWriteError().empty()) {
          zel::ShowMessage(std::string(job.mail ? "The call could not be mailed: " : "The call could not be exported: ") +
                               zel::LastWriteError(),
                           IMessageSink::Icon::Error);
        }
      });
}

void CPlayerForm::MailOrExportCompact(bool mail, bool span, zel::CompactFormat format) {
  const bool level = EvenLoudnessExports();
  StartWriting({mail, span, true, level, zel::CompactName(format),
                [mail, span, format, level](const CKlRecordFile& rec, const zel::StopRequest& stop) {
                  if (level) {
                    // The copy is already cut to the span.
                    const auto levelled = zel::EvenLoudnessCopy(rec, span, {}, nullptr, stop);
                    return levelled &&
                           (mail ? zel::EmailCompact(*levelled, format) : zel::ExportCompact(*levelled, format));
                  }
                  return span ? (mail ? zel::EmailCompactClip(rec, format) : zel::ExportCompactClip(rec, format))
                              : (mail ? zel::EmailCompact(rec, format) : zel::ExportCompact(rec, format));
                }});
}

void CPlayerForm::MailOrExport(bool mail, bool span, bool wav) {
  // A native copy keeps the recording's own audio: there is nothing to level.
  const bool level = wav && EvenLoudnessExports();
  StartWriting({mail, span, !(mail && !span && !wav), level, wav ? "wav" : "zel",
                [mail, span, wav, level](const CKlRecordFile& rec, const zel::StopRequest& stop) {
                  if (level) {
                    const auto levelled = zel::EvenLoudnessCopy(rec, span, {}, nullptr, stop);
                    return levelled && (mail ? zel::EmailWav(*levelled) : zel::ExportWav(*levelled));
                  }
                  if (span) {
                    if (mail) return wav ? zel::EmailWavClip(rec) : zel::EmailNativeClip(rec);
                    return wav ? zel::ExportWavClip(rec) : zel::ExportNativeClip(rec);
                  }
                  // The panel's native mail carries a fixed greeting, not the call's details.
                  if (mail) return wav ? zel::EmailWav(rec) : zel::EmailNativePlain(rec);
                  return wav ? zel::ExportWav(rec) : zel::ExportNative(rec);
                }});
}

void CPlayerForm::OnTimer() {
  CPlaybackManager& m = Manager();
  if (!m.IsLoaded()) return;
  // The state stops and rewinds once the position text reaches the duration text.
  const bool ended = state_.Tick();
  position_->setText(ended ? Hms(0) : QString::fromStdString(state_.LastPositionText()));
  scope_->SetPosition(m.Position());
  UpdateButtons();
  scope_->update();
}

bool CPlayerForm::AcceptsDrop(const QMimeData* mime) {
  if (!mime || !mime->hasUrls()) return false;
  const QList<QUrl> urls = mime->urls();
  if (urls.size() != 1 || !urls.front().isLocalFile()) return false;
  return QFileInfo(urls.front().toLocalFile()).suffix().compare(QStringLiteral("zel"), Qt::CaseInsensitive) == 0;
}

void CPlayerForm::dragEnterEvent(QDragEnterEvent* event) {
  if (AcceptsDrop(event->mimeData())) {
    event->setDropAction(Qt::LinkAction);
    event->accept();
  } else {
    event->ignore();
  }
}

void CPlayerForm::dragMoveEvent(QDragMoveEvent* event) {
  if (AcceptsDrop(event->mimeData())) {
    event->setDropAction(Qt::LinkAction);
    event->accept();
  } else {
    event->ignore();
  }
}

void CPlayerForm::dropEvent(QDropEvent* event) {
  if (!AcceptsDrop(event->mimeData())) {
    event->ignore();
    return;
  }
  event->setDropAction(Qt::LinkAction);
  event->accept();
  OpenAndPlay(event->mimeData()->urls().front().toLocalFile().toStdString());
}
