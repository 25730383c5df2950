#pragma once
#include <functional>

#include "Archive/ui/CArchiveWizardBase.h"

class QLabel;
class QPushButton;

// Step 5: the summary of the finished job, its archive folder and its comment.
// When the page goes, the archive log is saved and the wizard's job leaves the
// archive manager.
class CArchiveWizardPageComplete : public CArchiveWizardBase {
  Q_OBJECT
 public:
  explicit CArchiveWizardPageComplete(std::shared_ptr<Shared> shared, QWidget* parent = nullptr);
  ~CArchiveWizardPageComplete() override;
  void initializePage() override;

  // The value shown after a summary label ("Job Start Time:", ...).
  QString Value(const QString& label) const;
  void OpenFolder();
  void EditComment();
  // Opens a folder with the desktop; tests replace it.
  std::function<bool(const std::string&)> folderOpener;
  // Edits a comment; returns false when cancelled. Tests replace it.
  std::function<bool(QString&)> commentEditor;

 private:
  std::vector<std::pair<QString, QLabel*>> values_;
  QPushButton* folder_;
  QPushButton* comment_;
  CJobArchListEntry job_;
};
