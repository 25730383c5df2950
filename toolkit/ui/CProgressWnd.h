#pragma once
#include <QDialog>

class QLabel;
class QProgressBar;
class QPushButton;

// A small modal progress window: a text, a range, a position and a " Cancel" button.
// The owner sets it from the GUI thread while the work runs elsewhere; it repaints from
// the event loop.
class CProgressWnd : public QDialog {
  Q_OBJECT
 public:
  explicit CProgressWnd(QWidget* parent = nullptr, const QString& title = QString());

  void SetText(const QString& text);
  void SetRange(int lower, int upper);
  void SetPos(int pos);
  void StepIt();
  // Work that cannot stop: no Cancel button, and Esc does not close the window.
  void SetCancellable(bool cancellable);
  // Shows the window once `milliseconds` have passed, but not while another modal window
  // (a save dialog the work asked for) is open: keys meant for that one would come here.
  void ShowAfter(int milliseconds);

 signals:
  // Cancel (or Esc) was pressed; the button is disabled after.
  void cancelRequested();

 protected:
  void reject() override;
  void keyPressEvent(QKeyEvent* event) override;
  void closeEvent(QCloseEvent* event) override;

 private:
  QLabel* text_;
  QProgressBar* bar_;
  QPushButton* cancel_;
  bool cancelled_ = false;
  bool cancellable_ = true;
};
