#pragma once
#include <functional>
#include <optional>
#include <string>

#include "recording/CKlRecordFile.h"

// A private copy of a recording cut down to its bookmarked span, for exporting or
// mailing that span as a clip. It lives for one command: construct, crop, write,
// destroy. It never writes back into the source file (SaveIfDirty refuses).
class CBookmarkRecordFile : public CKlRecordFile {
 public:
  // Loads the source's file with the passphrase of the application settings and
  // waits up to 100 s for decoding. The source is only read, never kept beyond this
  // object's life (the caller keeps it alive meanwhile).
  explicit CBookmarkRecordFile(const CKlRecordFile& source);
  // The same with an explicit passphrase (the command line's).
  CBookmarkRecordFile(const CKlRecordFile& source, const std::string& passphrase);
  ~CBookmarkRecordFile() override;

  // Keeps only the samples of the bookmark and removes the bookmark from the header;
  // `Duration` becomes the bookmark's length, or the length of audio it really holds
  // when it runs past the end (SampleCount may become 0: nothing is left to write).
  // Without a bookmark nothing changes.
  // The rate is SampleCount / Duration, or 8000 samples per second when Duration is
  // 0 or longer than the audio. False when there was no bookmark.
  bool CropToBookmark();
  // Lets `change` rewrite the copy's decoded samples in place (a levelled export works
  // on the copy, never on the source).
  void ChangeSamples(const std::function<void(int16_t* samples, size_t count)>& change);
  // Writes the clip atomically: the header with format tag 49 (version 4, or the
  // source's version-5 layout and key when it was encrypted) and the samples as GSM
  // 06.10 frames, the last padded with zero samples. The audio of an encrypted
  // source's clip is encrypted too. False, with zel::LastWriteError set, when nothing
  // is loaded, no sample is left, `path` is the source file itself, or on any failure.
  bool WriteClip(const std::string& path);
  // $TMPDIR (else /tmp) with a "/", the loaded file's name without folder and
  // extension, and `extension` (".zel" for native clips).
  std::string ClipTempPath(const std::string& extension) const;
  // When ready, asks `choosePath` for a path (given the recording's base name; no
  // value means cancelled) and writes the clip there. True when a clip was written.
  bool ExportClip(const std::function<std::optional<std::string>(const std::string&)>& choosePath);

  // Never writes: the header now describes the clip, not the source file.
  bool SaveIfDirty() override;

  const CKlRecordFile& Source() const { return *Source_; }

 private:
  const CKlRecordFile* Source_;
};
