#include "audio/ui/COutputScope.h"

#include <QMouseEvent>
#include <QPainter>
#include <algorithm>

#include "audio/CPlaybackManager.h"
#include "codec/SampleRate.h"
#include "core/Singleton.h"

namespace {
constexpr int kSamplesPerMinute = 480000;
const QColor kDarkGreen(0, 128, 0);
const QColor kGreen(0, 255, 0);
const QColor kBlue(0, 0, 255);
const QColor kRed(255, 0, 0);
}  // namespace

COutputScope::COutputScope(QWidget* parent) : QWidget(parent) {
  setCursor(Qt::PointingHandCursor);
  setAttribute(Qt::WA_OpaquePaintEvent);
  setMinimumHeight(60);
  setAccessibleName(QStringLiteral("Waveform"));
  setToolTip(QStringLiteral("Waveform: click to play from there"));
}

CPlaybackManager& COutputScope::Manager() const { return *Singleton<CPlaybackManager>::Instance(); }

void COutputScope::SetMarks(int start, int end) {
  markStart_ = start;
  markEnd_ = end;
  update();
}

void COutputScope::SetTotal(int samples) {
  total_ = std::max(samples, 0);
  position_ = std::min(position_, total_);
  // Another recording: its samples may sit where the last one's were, so the
  // columns are computed afresh.
  columns_.Reset();
  update();
}

void COutputScope::SetPosition(int sample) {
  position_ = std::clamp(sample, 0, total_);
  update();
}

QRect COutputScope::Area() const { return rect().adjusted(3, 2, -4, -3); }

void COutputScope::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  Paint(painter);
}

void COutputScope::Paint(QPainter& painter) {
  const QRect area = Area();
  painter.fillRect(rect(), Qt::black);
  CPlaybackManager& manager = Manager();
  const CKlRecordFile& rec = manager.Recording();
  if (!rec.IsReady() && rec.HasFile()) {
    const bool decoding = rec.SampleCount() > 0 && rec.DecodedCount() < rec.SampleCount();
    painter.setPen(kRed);
    if (decoding && rec.DecodedCount() <= CPlaybackManager::kPlayableSamples) {
      painter.drawText(area, Qt::AlignCenter, QStringLiteral("Decompressing - Please wait"));
      return;
    }
    if (!decoding) {
      painter.drawText(area, Qt::AlignCenter, QStringLiteral("Decompressing"));
      return;
    }
  }
  if (!manager.IsLoaded() || area.width() <= 0 || area.height() <= 0) return;

  const int width = area.width();
  const int total = total_ > 0 ? total_ : rec.SampleCount();
  const int16_t* samples = nullptr;
  rec.GetSamples(0, rec.SampleCount(), &samples);
  // Only decoded samples are read; the columns follow the decoding as it goes on.
  columns_.Update(samples, rec.DecodedCount(), total, width);
  const int centre = area.top() + area.height() / 2;

  if (total > 0) {
    QPen dotted(kDarkGreen, 1, Qt::DotLine);
    painter.setPen(dotted);
    for (int64_t s = kSamplesPerMinute; s < total; s += kSamplesPerMinute) {
      int x = area.left() + static_cast<int>(s * width / total);
      painter.drawLine(x, area.top(), x, area.bottom());
    }
    painter.drawLine(area.left(), centre, area.right(), centre);
  }

  // The span: the marks being edited, else the recording's stored bookmark.
  int spanStart = markStart_, spanEnd = markEnd_;
  if (spanStart < 0) {
    int bs = -1, be = -1;
    if (rec.GetBookmark(bs, be)) {
      spanStart = bs * zel::kSamplesPerSecond;
      spanEnd = be * zel::kSamplesPerSecond;
    } else {
      spanEnd = -1;
    }
  }
  if (spanStart >= 0 && spanEnd < 0) spanEnd = position_;
  int firstCol = -1, lastCol = -1;
  if (spanStart >= 0 && total > 0) {
    firstCol = static_cast<int>(static_cast<int64_t>(std::min(spanStart, spanEnd)) * width / total);
    lastCol = static_cast<int>(static_cast<int64_t>(std::max(spanStart, spanEnd)) * width / total);
  }

  const auto& cols = columns_.Columns();
  const int height = area.height();
  QPen green(kGreen), blue(kBlue);
  painter.setPen(green);
  bool inSpan = false;
  for (int c = 0; c < static_cast<int>(cols.size()); ++c) {
    bool want = c >= firstCol && c <= lastCol && firstCol >= 0;
    if (want != inSpan) {
      painter.setPen(want ? blue : green);
      inSpan = want;
    }
    int x = area.left() + c;
    int y1 = centre + cols[c].min * height / 65535;
    int y2 = centre + cols[c].max * height / 65535;
    painter.drawLine(x, y1, x, y2);
  }

  if (total > 0) {
    int x = area.left() + static_cast<int>(static_cast<int64_t>(position_) * width / total);
    x = std::clamp(x, area.left() + 1, area.right() - 1);
    painter.fillRect(QRect(x - 1, area.top(), 3, area.height()), kRed);
  }
}

void COutputScope::mousePressEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton) return;
  CPlaybackManager& manager = Manager();
  const QRect area = Area();
  const int total = manager.Recording().SampleCount();
  if (!manager.IsLoaded() || total <= 0 || area.width() <= 0) return;
  const bool wasPlaying = manager.IsPlaying();
  if (wasPlaying) manager.TogglePause();
  int x = std::clamp(static_cast<int>(event->position().x()), area.left(), area.right());
  int sample = static_cast<int>(static_cast<int64_t>(x - area.left()) * total / area.width());
  if (sample < total) {
    manager.Seek(sample);
    SetPosition(sample);
    emit Seeked(sample);
  }
  if (wasPlaying) manager.TogglePause();
}
