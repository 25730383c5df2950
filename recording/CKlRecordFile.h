#pragma once
#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "recording/CKlAESCipher.h"
#include "recording/CKlRecordFileHdr.h"

// One recording held open for playing, exporting and annotating: its header and its
// audio decoded to 16-bit mono PCM at 8000 samples per second. G.711 is decoded at
// once; IMA ADPCM and GSM are decoded on a background thread while SampleCount() is
// already final and samples not yet decoded read as 0. Annotation setters change the
// header in memory; SaveIfDirty writes it back in place, leaving the audio untouched.
class CKlRecordFile {
 public:
  CKlRecordFile();
  virtual ~CKlRecordFile();
  CKlRecordFile(const CKlRecordFile&) = delete;
  CKlRecordFile& operator=(const CKlRecordFile&) = delete;

  // 1 when loaded (decoding may still run), 0 on failure.
  int LoadRecording(const std::string& path, const std::string& passphrase);
  // LoadRecording, then waits up to 100 s for decoding. An empty path closes and returns 1.
  int LoadRecordingAndWait(const std::string& path, const std::string& passphrase);
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

  // Annotations, as UTF-8 texts.
  std::string GetCallerId() const;
  void SetCallerId(const std::string& text);
  std::string GetComment() const;
  void SetComment(const std::string& text);
  void SetImportant(uint32_t value);
  bool GetBookmark(int& start, int& end) const;
  int SetBookmark(int start, int end);
  bool SaveIfDirty();
  bool HeaderDirty() const;

  CKlRecordFileHdr& Header();
  const CKlRecordFileHdr& Header() const;

  // ... protected decode hooks and private members chosen by the implementation.
};
