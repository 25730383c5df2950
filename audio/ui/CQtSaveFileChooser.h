#pragma once
#include <QPointer>
#include <QString>
#include <QWidget>

#include "audio/ISaveFileChooser.h"

// The export commands' save dialog on Qt's file dialog; asked from another thread, it
// shows the dialog on the GUI thread and waits for the answer.
class CQtSaveFileChooser : public ISaveFileChooser {
 public:
  explicit CQtSaveFileChooser(QWidget* parent = nullptr) : parent_(parent) {}
  std::optional<SaveFileChoice> ChooseSaveFile(const SaveFileRequest& request) override;

  // "Zel Files (*.zel)|*.zel|Wave (*.wav)|*.wav||" -> "Zel Files (*.zel);;Wave (*.wav)".
  static QString QtFilter(const std::string& windowsFilter);

 private:
  QPointer<QWidget> parent_;  // else the active window
};
