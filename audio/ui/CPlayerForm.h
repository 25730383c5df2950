#pragma once
#include <QPointer>
#include <QTimer>
#include <QWidget>
#include <functional>
#include <string>
#include <vector>

#include "audio/CPlayerState.h"
#include "audio/CompactExport.h"
#include "audio/Loudness.h"
#include "codec/SampleRate.h"
#include "recording/CKlFileListEntry.h"
#include "toolkit/ui/CAsyncTask.h"

class CKlRecordFile;
class COutputScope;
class CProgressWnd;
class IPlayerHost;
class CRecordingEdits;
class CPlaybackManager;
class QLabel;
class QAction;
class QMenu;
class QMimeData;
class QCheckBox;
class QToolButton;
class QComboBox;

// The player's form: transport buttons, the recording's texts and indicators, the
// bookmark button, the menus and the waveform. It works on the recording held by the
// playback manager and announces its changes to the registered notification window.
class CPlayerForm : public QWidget {
  Q_OBJECT
 public:
  enum class BookmarkState { MarkStart, MarkEnd, Clear };
  static constexpr int kStep10 = 10 * zel::kSamplesPerSecond;
  static constexpr int kStep30 = 30 * zel::kSamplesPerSecond;

  explicit CPlayerForm(QWidget* parent = nullptr);
  ~CPlayerForm() override;

  // Fills the form from the recording at `path` (already loaded into the manager).
  void ShowRecording(const std::string& path);
  // Loads `path` into the manager, shows it and plays it (a drop, the history dialog).
  bool OpenAndPlay(const std::string& path);
  // Loads `path` into the manager and shows it without playing (a list's selection).
  // A call whose audio was archived away is shown with a notice saying so; false.
  bool OpenWithoutPlaying(const std::string& path);
  // True for a drag carrying exactly one ".zel" file.
  static bool AcceptsDrop(const QMimeData* mime);

  // Whether the control with the focus needs `key` itself, so that the transport
  // keys (Space, the arrows, Esc) leave it alone: text fields and the menu bar keep
  // every key, buttons and boxes Space, trees, sliders and tab bars the arrows.
  static bool FocusKeepsKey(const QObject* focus, QKeyCombination key);

  // Commands. Play on a call still decoding starts once enough of it is ready.
  void Play();
  void Pause();
  void TogglePlay();
  void Stop();
  void Step(int samples);
  void BookmarkButton();
  void MarkImportant();
  void Delete();
  // "Place on Legal Hold..." (`place`) or "Release Hold..." for the loaded call.
  void ChangeHold(bool place);
  void AddToCallsForReview();
  void History();
  void CloseRecording();
  // Mail or export the whole call (`span` false) or the bookmarked span, as WAV or native.
  // They return at once: the work goes on beside the window (see Writing).
  void MailOrExport(bool mail, bool span, bool wav);
  // The same in MP3, Opus or FLAC.
  void MailOrExportCompact(bool mail, bool span, zel::CompactFormat format);
  // Whether WAV, MP3, Opus and FLAC files are brought to even loudness (the menus'
  // switch, off at start; native copies keep the recording's own audio).
  void SetEvenLoudnessExports(bool on);
  bool EvenLoudnessExports() const;
  // The window that shows the call lists' dialogs (Calls for Review, History); without
  // one (tests) those commands do nothing.
  void SetHost(IPlayerHost* host) { host_ = host; }
  // Whether an export or mail runs now: waiting for the decoding, asking for the file
  // name or writing beside the window.
  bool Writing() const { return writing_; }
  // Playback speed in tenths (5 to 20; `[` slower, `]` faster, `=` normal), pause
  // skipping and even loudness; each change is remembered in the user's settings.
  void SetSpeed(int tenths);
  int Speed() const;
  void SetSkipSilence(bool on);
  void SetEvenLoudness(bool on);
  // The 200 ms timer's work.
  void OnTimer();

  BookmarkState Bookmark() const { return bookmarkState_; }
  int MarkStart() const { return markStart_; }
  int MarkEnd() const { return markEnd_; }
  const std::vector<std::string>& HistoryList() const { return history_; }
  COutputScope* Scope() const { return scope_; }
  QString Title() const;
  QString PositionText() const;
  // What the panel says instead of a player (a call whose audio was archived).
  QString Notice() const;
  bool PlayPending() const { return pendingPlay_.isActive(); }
  bool IndicatorShown(int index) const;  // 0 important, 1 bookmark, 2 comment, 3 encrypted

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dragMoveEvent(QDragMoveEvent* event) override;
  void dropEvent(QDropEvent* event) override;

 private:
  CPlaybackManager& Manager() const;
  // The recording edits, letting go of the call before it goes to the trash.
  CRecordingEdits Edits();
  QToolButton* MakeButton(const QString& icon, const QString& tip, const QString& key);
  void SetIndicator(int index, bool on);
  void ShowBookmarkButton(BookmarkState state);
  void UpdateButtons();
  void ClearTexts();
  void CancelPendingPlay();
  // Whether `widget` is in the window that holds the panel (docked or floating).
  bool InPlayerWindow(const QWidget* widget) const;
  // Loads and shows `path`; a call without audio gets its details and the notice.
  bool LoadAndShow(const std::string& path);
  // The call's texts and indicators, from its header alone.
  void ShowDetails(const std::string& path);
  // An export or mail command: what it writes from the call, beside the window (`stop`
  // is the progress window's Cancel when it levels), and what the audit trail says.
  struct WriteJob {
    bool mail = false;
    bool span = false;
    bool needsAudio = true;  // a native mail attaches the file itself, decoded or not
    bool level = false;
    std::string format;
    std::function<bool(const CKlRecordFile& rec, const zel::StopRequest& stop)> write;
  };
  // Checks that `job` may start (loaded, allowed, none running) and starts it: the
  // decoding is waited for when the job needs the audio, then the job is written. Each
  // step returns to the event loop; the save dialog comes to the GUI thread meanwhile.
  void StartWriting(WriteJob job);
  // Writes `job` on a pool thread, its progress shown after a moment: encoding an
  // hour-long call takes seconds. The outcome is reported on the GUI thread.
  void WriteBeside(WriteJob job);
  // A modal progress window, in place of the one shown so far, that shows `text` after a
  // moment (a busy bar when `range` is 0), with a Cancel button when `cancellable`.
  void ShowProgress(const QString& text, int range, bool cancellable);
  // Closes the progress window and lets the call go.
  void EndWriting();
  // True, after a message, while an export or mail runs beside the window.
  bool RefusedWhileWriting() const;
  void UpdateMenus();
  void ApplyPlaybackOptions();

  COutputScope* scope_;
  QLabel* title_;
  QLabel* caller_;
  QLabel* duration_;
  QLabel* position_;
  QLabel* separator_;  // between position and duration, shown with them
  QLabel* notice_;
  QLabel* indicators_[4];
  QToolButton* back30_;
  QToolButton* back10_;
  QToolButton* play_;
  QToolButton* pause_;
  QToolButton* stop_;
  QToolButton* fwd10_;
  QToolButton* fwd30_;
  QToolButton* markStartBtn_;
  QToolButton* markEndBtn_;
  QToolButton* clearBtn_;
  QToolButton* mailBtn_;
  QToolButton* exportBtn_;
  QToolButton* moreBtn_;
  QComboBox* speed_;
  QCheckBox* skipSilence_;
  QCheckBox* evenLoudness_;
  bool writing_ = false;  // an export or mail runs (see Writing)
  QTimer decodingPoll_;  // while an export waits for the decoding
  CAsyncTask writeTask_;
  QPointer<CProgressWnd> progress_;
  QAction* levelExports_;  // shared by the mail and export menus
  QMenu* mailMenu_;
  QMenu* exportMenu_;
  QMenu* moreMenu_;
  QAction* importantAction_;
  QAction* deleteAction_;
  CPlayerState state_;
  QTimer timer_;
  QTimer pendingPlay_;  // runs while a Play waits for the decoding
  std::vector<QKeyCombination> transportKeys_;

  CKlFileListEntry entry_;
  BookmarkState bookmarkState_ = BookmarkState::MarkStart;
  int markStart_ = -1;
  int markEnd_ = -1;
  std::vector<std::string> history_;
  IPlayerHost* host_ = nullptr;
};
