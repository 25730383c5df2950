#pragma once
#include <QDialog>

// The about box: product name, "Version: %u.%u.%u.%u" and the product's links. Only its
// "Close" button closes it.
class CAboutDlg : public QDialog {
  Q_OBJECT
 public:
  explicit CAboutDlg(QWidget* parent = nullptr);
  ~CAboutDlg() override;
};
