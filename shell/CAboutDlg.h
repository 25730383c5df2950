#pragma once
#include <QDialog>

class QLabel;
class QPushButton;

// The about box: product name, "Version: %u.%u.%u.%u" and the product's links. Only its
// "Close" button closes it.
class CAboutDlg : public QDialog {
  Q_OBJECT
 public:
  explicit CAboutDlg(QWidget* parent = nullptr);
  ~CAboutDlg() override;

  QLabel* VersionLabel() const { return version_; }
  QPushButton* CloseButton() const { return close_; }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;

 private:
  QLabel* version_;
  QPushButton* close_;
};
