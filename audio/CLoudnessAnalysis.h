#pragma once
#include <condition_variable>
#include <mutex>
#include <optional>

#include "core/CKlThread.h"

class CKlRecordFile;

// Finds the even-loudness gain of the player's recording on a thread of its own:
// an hour-long call takes a few hundred milliseconds to measure, which the player's
// (GUI) thread must not wait for. The thread first waits for the recording to be
// decoded.
class CLoudnessAnalysis : public CKlThread {
 public:
  CLoudnessAnalysis();
  ~CLoudnessAnalysis() override;

  // Starts on `file`, forgetting an earlier result. The recording must stay loaded
  // until Cancel (or the result) comes.
  void Start(CKlRecordFile& file);
  // Stops a measurement under way and forgets the recording.
  void Cancel();
  // Whether Start was called since the last Cancel.
  bool Started() const;
  // The best gain known: first the plain gain for the call's loudness, then the one
  // that makes up for the limiter. Nothing before the first, or when the recording
  // never finished decoding.
  std::optional<double> Gain() const;
  // Whether Gain is the final one.
  bool Final() const;
  // Waits up to `milliseconds` for a first gain.
  std::optional<double> WaitForGain(int milliseconds);

 protected:
  unsigned Run() override;

 private:
  mutable std::mutex lock_;
  std::condition_variable found_;
  CKlRecordFile* file_ = nullptr;
  std::optional<double> gain_;
  bool final_ = false;
};
