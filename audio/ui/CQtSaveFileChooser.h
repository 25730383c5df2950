#pragma once
#include <QString>

#include "audio/ISaveFileChooser.h"

class QWidget;

// The export commands' save dialog on Qt's file dialog; asked from another thread, it
// shows the dialog on the GUI thread and waits for the answer.
class CQtSaveFileChooser : public ISaveFileChooser {
 public:
  explicit CQtSaveFileChooser(QWidget* parent = nullptr) : parent_(parent) {}
  std::optional<SaveFileChoice> ChooseSaveFile(const SaveFileRequest& request) override;

  // "Zel Files (*.zel)|*.zel|Wave (*.wav)|*.wav||" -> "Zel Files (*.zel);;Wave (*.wav)".
  static QString QtFilter(const std::string& windowsFilter);

 private:
  QWidget* parent_;
};
