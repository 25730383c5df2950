#pragma once
#include <cstdint>
#include <vector>

// The waveform of the output scope: one (minimum, maximum) pair per pixel column.
// The samples are spread evenly over the columns; with fewer samples than columns the
// values between samples are interpolated linearly and rounded. Only the first
// `available` of `total` samples may be read (the rest may still be decoding); their
// columns stay 0. Update recomputes only when its inputs differ from the last call,
// so that a repaint costs nothing but drawing.
class CScopeColumns {
 public:
  struct Column {
    int16_t min = 0;
    int16_t max = 0;
  };

  // True when the columns were recomputed.
  bool Update(const int16_t* samples, int available, int total, int width);
  void Reset();
  const std::vector<Column>& Columns() const { return columns_; }

  static void Compute(const int16_t* samples, int available, int total, int width,
                      std::vector<Column>& out);

 private:
  const int16_t* samples_ = nullptr;
  int available_ = -1;
  int total_ = -1;
  int width_ = -1;
  std::vector<Column> columns_;
};
