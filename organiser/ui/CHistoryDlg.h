#pragma once
#include <QDialog>
#include <string>
#include <vector>

class QListWidget;
class QPushButton;

// "History": the player's recently played recordings. Lines can be removed or
// cleared; "Play" (or a double-click on one line) closes the dialog and names the
// recording to play. After an OK close the caller takes Paths() back; a
// cancelled dialog (Esc) leaves the caller's list as it was.
class CHistoryDlg : public QDialog {
  Q_OBJECT
 public:
  explicit CHistoryDlg(std::vector<std::string> paths, QWidget* parent = nullptr);

  // The list as edited.
  const std::vector<std::string>& Paths() const { return paths_; }
  // The recording to load and play after an OK close; empty after "Close".
  const std::string& PlayPath() const { return playPath_; }

  QListWidget* List() const { return list_; }
  QPushButton* RemoveButton() const { return remove_; }
  QPushButton* ClearButton() const { return clear_; }
  QPushButton* PlayButton() const { return play_; }
  QPushButton* CloseButton() const { return close_; }

 private:
  void UpdateButtons();
  void Remove();
  void Clear();
  void Play();

  std::vector<std::string> paths_;
  std::string playPath_;
  QListWidget* list_;
  QPushButton* remove_;
  QPushButton* clear_;
  QPushButton* play_;
  QPushButton* close_;
};
