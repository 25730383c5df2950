#pragma once
#include <atomic>
#include <climits>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "core/ThreadAnnotations.h"
#include "recording/CKlAESCipher.h"
#include "recording/CKlRecordFileHdr.h"

// One recording held open for playing, exporting and annotating: its header and its
// audio decoded to 16-bit mono PCM at 8000 samples per second. G.711 is decoded at
// once; IMA ADPCM and GSM are decoded on a background thread while SampleCount() is
// already final and samples not yet decoded read as 0. Annotation setters change the
// header in memory; SaveIfDirty writes it back in place, leaving the audio untouched.
//
// Threads: the object is owned and called by one thread; only the decode thread runs
// beside it. Readers of samples should stay below DecodedCount() (which the decode
// thread publishes after each frame) to read finished samples without a data race.
class CKlRecordFile {
 public:
  CKlRecordFile();
  virtual ~CKlRecordFile();
  CKlRecordFile(const CKlRecordFile&) = delete;
  CKlRecordFile& operator=(const CKlRecordFile&) = delete;

  // 1 when loaded (decoding may still run), 0 on failure. Paths ending in "zel"
  // (any case) carry a header; "wav" files are raw 16-bit little-endian PCM from
  // their first byte; any other file is headerless mu-law with the path as caller and
  // comment. A ".zel" file shorter than 1440 bytes, a header that cannot be read or
  // decrypted, an unknown format tag or audio shorter than one frame or block fail
  // and leave nothing loaded; an unopenable file also leaves NotReady set.
  int LoadRecording(const std::string& path, const std::string& passphrase);
  // LoadRecording, then waits up to 100 s for decoding. An empty path closes and returns 1.
  int LoadRecordingAndWait(const std::string& path, const std::string& passphrase);
  // Stops and joins the decode thread, frees the samples and forgets the file and
  // any unsaved annotation changes.
  void CloseRecording();

  bool IsReady() const;  // a path is loaded and decoding has finished
  bool HasFile() const;  // a path is loaded
  const std::string& Path() const;
  int SampleCount() const;
  // Samples decoded so far (equals SampleCount() once ready).
  int DecodedCount() const;
  // Pointer to sample `first` and the number available from there, at most `count`;
  // 0 when first >= SampleCount().
  int GetSamples(int first, int count, const int16_t** samples) const;
  // Waits up to `milliseconds` (negative: without limit) for the decode thread to
  // end; true when no decoding is running any more.
  bool WaitForDecoding(int milliseconds);
  // Waits up to `milliseconds` (negative: without limit) until at least `count`
  // samples are decoded or no decoding runs any more; true when so.
  bool WaitForDecodedCount(int count, int milliseconds);

  // Annotations, as UTF-8 texts.
  std::string GetCallerId() const;
  void SetCallerId(const std::string& text);
  std::string GetComment() const;
  void SetComment(const std::string& text);
  void SetImportant(uint32_t value);
  bool GetBookmark(int& start, int& end) const;
  int SetBookmark(int start, int end);
  // Writes the header back in place when changed. False when nothing is loaded, when
  // the file has no header of its own (".wav" and headerless files: writing one would
  // overwrite audio), when the file is gone, or when writing failed (it stays dirty).
  virtual bool SaveIfDirty();
  bool HeaderDirty() const;

  CKlRecordFileHdr& Header();
  const CKlRecordFileHdr& Header() const;

 protected:
  // The decoders of the stored audio. `coded` is CodedAudio (owned by this object);
  // each returns the final sample count, 0 when there is nothing to decode.
  virtual int DecodeAudio(int32_t formatTag, uint8_t* coded, size_t length);
  virtual int StartGsmDecode(uint8_t* coded, size_t length);
  virtual int StartImaDecode(uint8_t* coded, size_t length);

  // Waits for the decode thread to run to its end (it always ends: the coded audio
  // is finite). Afterwards the samples belong to this thread alone.
  void FinishDecoding();
  // Asks the decode thread to stop after its current frame and joins it.
  void StopDecoding();
  // Replaces the samples by samples[first, last) of the current ones (no thread runs).
  void KeepSamples(int first, int last);
  const int16_t* Samples() const { return decodedSamples_.get(); }
  int16_t* MutableSamples() { return decodedSamples_.get(); }
  bool HeaderFromFile() const { return headerFromFile_; }
  void ClearHeaderDirty() { headerDirty_ = 0; }

 private:
  struct FreeDeleter {
    void operator()(void* p) const { std::free(p); }
  };
  enum class Coding { kGsm, kIma };

  int StartDecodeThread(Coding coding, uint8_t* coded, size_t length, int samples);
  void DecodeLoop(Coding coding);
  void PublishDecodedCount(int decoded);
  void FreeCodedAudio() { codedAudio_.reset(); }

  std::unique_ptr<int16_t[], FreeDeleter> decodedSamples_;
  std::unique_ptr<uint8_t[], FreeDeleter> codedAudio_;
  std::atomic<uint32_t> notReady_{0};
  int sampleCount_ = 0;
  uint32_t headerDirty_ = 0;
  std::string path_;
  CKlRecordFileHdr header_;
  CKlAESCipher cipher_;
  bool headerFromFile_ = false;

  zel::Mutex threadLock_;
  // Signalled when decoding ends, and when the decoded count reaches wantedCount_.
  zel::CondVar finished_;
  std::thread decodeThread_ GUARDED_BY(threadLock_);
  bool decoding_ GUARDED_BY(threadLock_) = false;

  // Decoder cursor, owned by the decode thread while it runs.
  size_t bytesLeft_ = 0;
  const uint8_t* nextCoded_ = nullptr;
  int16_t* nextSample_ = nullptr;
  std::atomic<int> decodedCount_{0};
  std::atomic<bool> stopDecoding_{false};
  // The count a waiter of WaitForDecodedCount needs; the decode thread wakes it only
  // once that is reached, so frames pass without taking the lock.
  std::atomic<int> wantedCount_{INT_MAX};
};
