#include "audio/CScopeColumns.h"

#include <algorithm>
#include <cmath>

bool CScopeColumns::Update(const int16_t* samples, int available, int total, int width) {
  if (samples == samples_ && available == available_ && total == total_ && width == width_) return false;
  samples_ = samples;
  available_ = available;
  total_ = total;
  width_ = width;
  Compute(samples, available, total, width, columns_);
  return true;
}

void CScopeColumns::Reset() {
  samples_ = nullptr;
  available_ = total_ = width_ = -1;
  columns_.clear();
}

void CScopeColumns::Compute(const int16_t* samples, int available, int total, int width,
                            std::vector<Column>& out) {
  out.assign(static_cast<size_t>(std::max(width, 0)), Column{});
  if (!samples || width <= 0 || total <= 0 || available <= 0) return;
  available = std::min(available, total);
  if (total >= width) {
    // Column c holds samples [c * total / width, (c + 1) * total / width).
    for (int c = 0; c < width; ++c) {
      int64_t first = static_cast<int64_t>(c) * total / width;
      int64_t last = static_cast<int64_t>(c + 1) * total / width;
      if (first >= available) break;
      last = std::min<int64_t>(last, available);
      if (first >= last) continue;
      // Plain min and max loops: the compiler turns them into vector instructions,
      // which an hour of samples needs to stay well inside a frame.
      int16_t lo = samples[first], hi = samples[first];
      for (int64_t i = first + 1; i < last; ++i) {
        lo = std::min(lo, samples[i]);
        hi = std::max(hi, samples[i]);
      }
      out[c].min = lo;
      out[c].max = hi;
    }
    return;
  }
  // Fewer samples than columns: column c sits at sample position c * (total - 1) / (width - 1).
  for (int c = 0; c < width; ++c) {
    double pos = width > 1 ? static_cast<double>(c) * (total - 1) / (width - 1) : 0.0;
    int i = static_cast<int>(pos);
    if (i >= available) break;
    double frac = pos - i;
    double v = samples[i];
    if (frac > 0 && i + 1 < available) v += (samples[i + 1] - samples[i]) * frac;
    auto value = static_cast<int16_t>(std::lround(v));
    out[c].min = out[c].max = value;
  }
}
