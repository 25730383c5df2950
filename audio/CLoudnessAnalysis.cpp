#include "audio/CLoudnessAnalysis.h"

#include <chrono>

#include "audio/Loudness.h"
#include "recording/CKlRecordFile.h"

CLoudnessAnalysis::CLoudnessAnalysis() : CKlThread("LOUDNESS") {}

CLoudnessAnalysis::~CLoudnessAnalysis() { Cancel(); }

void CLoudnessAnalysis::Start(CKlRecordFile& file) {
  Cancel();
  {
    std::lock_guard<std::mutex> hold(lock_);
    file_ = &file;
  }
  CKlThread::Start(THREAD_PRIORITY_BELOW_NORMAL);
}

void CLoudnessAnalysis::Cancel() {
  if (HasThread()) Stop();
  std::lock_guard<std::mutex> hold(lock_);
  file_ = nullptr;
  gain_.reset();
  final_ = false;
}

bool CLoudnessAnalysis::Started() const {
  std::lock_guard<std::mutex> hold(lock_);
  return file_ != nullptr;
}

std::optional<double> CLoudnessAnalysis::Gain() const {
  std::lock_guard<std::mutex> hold(lock_);
  return gain_;
}

bool CLoudnessAnalysis::Final() const {
  std::lock_guard<std::mutex> hold(lock_);
  return final_;
}

std::optional<double> CLoudnessAnalysis::WaitForGain(int milliseconds) {
  std::unique_lock<std::mutex> hold(lock_);
  found_.wait_for(hold, std::chrono::milliseconds(milliseconds), [this] { return gain_.has_value(); });
  return gain_;
}

unsigned CLoudnessAnalysis::Run() {
  CKlRecordFile* file = nullptr;
  {
    std::lock_guard<std::mutex> hold(lock_);
    file = file_;
  }
  if (file == nullptr) return 1;
  while (!file->WaitForDecoding(50)) {
    if (!IsRunning()) return 1;
  }
  if (!file->IsReady()) return 1;
  const int16_t* samples = nullptr;
  const int count = file->GetSamples(0, file->SampleCount(), &samples);
  auto publish = [this](double gain, bool final) {
    {
      std::lock_guard<std::mutex> hold(lock_);
      gain_ = gain;
      final_ = final;
    }
    found_.notify_all();
  };
  const std::optional<double> gain = zel::EvenLoudnessGain(
      samples, count > 0 ? static_cast<size_t>(count) : 0, [this] { return !IsRunning(); },
      [&publish](double guess) { publish(guess, false); });
  if (!gain) return 1;
  publish(*gain, true);
  return 0;
}
