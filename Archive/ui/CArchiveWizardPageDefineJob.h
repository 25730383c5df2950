#pragma once
#include <functional>

#include "Archive/ui/CArchiveWizardBase.h"

class QComboBox;
class QLineEdit;
class QPushButton;
class QRadioButton;

// Step 2: the archive path, the archive method, what happens to the source
// recordings and the structure of the archive.
class CArchiveWizardPageDefineJob : public CArchiveWizardBase {
  Q_OBJECT
 public:
  explicit CArchiveWizardPageDefineJob(std::shared_ptr<Shared> shared, QWidget* parent = nullptr);
  bool validatePage() override;

  QLineEdit* PathEdit() const { return path_; }
  QRadioButton* MethodButton(zel::ArchiveType type) const;
  QComboBox* MediaBox() const { return media_; }
  QComboBox* StructureBox() const { return structure_; }
  // Picks the path for the current method; tests replace it.
  std::function<QString()> pathPicker;

 private:
  void Browse();
  QString PickPath();
  QLineEdit* path_;
  QPushButton* browse_;
  QRadioButton* disk_;
  QRadioButton* zip_;
  QRadioButton* iso_;
  QComboBox* media_;
  QComboBox* structure_;
};
