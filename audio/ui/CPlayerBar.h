#pragma once
#include <QDockWidget>

class CPlayerForm;

// The dockable "Player Panel": 220 pixels high and at least 650 wide, docked or floating.
class CPlayerBar : public QDockWidget {
  Q_OBJECT
 public:
  static constexpr int kHeight = 220;
  static constexpr int kMinWidth = 650;

  explicit CPlayerBar(QWidget* parent = nullptr);
  CPlayerForm* Form() const { return form_; }

 protected:
  // The dock's own Close stops playback (with rewind) as hiding the panel does.
  void closeEvent(QCloseEvent* event) override;

 private:
  CPlayerForm* form_;
};
