#pragma once
#include <QWidget>

#include "audio/CScopeColumns.h"

class CPlaybackManager;

// The waveform of the player's recording with the bookmarked span and the playing
// position. The columns are recomputed only when the recording, the width or the
// number of decoded samples changed; a plain repaint only draws them.
class COutputScope : public QWidget {
  Q_OBJECT
 public:
  explicit COutputScope(QWidget* parent = nullptr);

  // Marks in samples, -1 when unset.
  void SetMarks(int start, int end);
  void SetTotal(int samples);
  void SetPosition(int sample);
  int Position() const { return position_; }
  int MarkStart() const { return markStart_; }
  int MarkEnd() const { return markEnd_; }
  // The drawing area inside the frame.
  QRect Area() const;
  const CScopeColumns& Columns() const { return columns_; }
  // Draws the scope into `painter` (the widget's paint event and the benchmark).
  void Paint(QPainter& painter);

 signals:
  // The user clicked and the manager was moved there.
  void Seeked(int sample);

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;

 private:
  CPlaybackManager& Manager() const;

  CScopeColumns columns_;
  int markStart_ = -1;
  int markEnd_ = -1;
  int total_ = 0;
  int position_ = 0;
};
