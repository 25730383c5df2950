#pragma once
#include <cstdint>
#include <cstdio>
#include <string>

#include "recording/CKlAESCipher.h"

// The 1440-byte header record of a ".zel" file, versions 1 to 5, read, cached and
// written back in place. Texts are kept as the file's raw Windows-1252 bytes, so a
// header written back untouched reproduces the file's bytes; the *Utf8 accessors
// convert for display and editing.
class CKlRecordFileHdr {
 public:
  static constexpr int kRecordSize = 1440;
  static constexpr int kVersion1Size = 1176;
  static constexpr int kPrefixSize = 48;
  static constexpr int kCallerIdSize = 128;
  static constexpr int kCommentSize = 1024;
  static constexpr int kUserIdSize = 128;
  static constexpr int kSiteCodeSize = 120;

  CKlRecordFileHdr();  // a new header: version 4, format tag -1, start time now, ...
  virtual ~CKlRecordFileHdr();
  CKlRecordFileHdr(const CKlRecordFileHdr&) = default;
  CKlRecordFileHdr& operator=(const CKlRecordFileHdr&) = default;

  // Reads from an open binary file. Returns the header bytes before the audio
  // (1176 or 1440), -1 for an unknown version, 0 for a read error or a version-5
  // file that could not be decrypted. Leaves the file at the first audio byte.
  virtual int ReadHeader(FILE* file, const std::string& passphrase);
  // Opens `path` and reads once; later calls return the cached result.
  virtual int LoadHeader(const std::string& path, const std::string& passphrase);
  // Writes the header at the start of `file`, leaving the audio untouched.
  // False when nothing could be written (an encryption that failed, a write error).
  virtual bool WriteHeader(FILE* file);
  // Opens `path` for update (creates it when missing) and writes the header.
  virtual int SaveHeader(const std::string& path);

  int32_t LocalStartTime() const;
  std::string FormatDateTime() const;  // at most 20 characters, UTF-8
  static std::string FormatHms(uint32_t seconds);
  bool GetBookmark(int& start, int& end) const;
  int SetBookmark(int start, int end);

  uint32_t Version() const;
  uint32_t HeaderSize() const;
  int32_t FormatTag() const;
  void SetFormatTag(int32_t tag);
  uint32_t Important() const;
  void SetImportant(uint32_t value);
  int32_t StartTime() const;
  void SetStartTime(int32_t value);
  uint32_t Duration() const;
  void SetDuration(uint32_t value);
  uint32_t AuxCode() const;
  uint32_t AuxDuration() const;

  // Raw (Windows-1252) texts; setters cut to the field size less the final NUL.
  std::string CallerId() const;
  void SetCallerId(const std::string& raw);
  std::string Comment() const;
  void SetComment(const std::string& raw);
  std::string UserId() const;
  void SetUserId(const std::string& raw);
  std::string SiteCode() const;
  void SetSiteCode(const std::string& raw);
  // UTF-8 views of the same texts.
  std::string CallerIdUtf8() const;
  std::string CommentUtf8() const;
  std::string UserIdUtf8() const;

  bool IsEncrypted() const { return Encrypted_ != 0; }
  int KeySizeCode() const { return KeySizeCode_; }
  const std::string& KeyString() const { return KeyString_; }
  const uint8_t* Record() const { return Record_; }

  // ... private members chosen by the implementation.
 private:
  uint8_t Record_[kRecordSize];
  int KeySizeCode_ = -1;
  std::string KeyString_;
  uint32_t Encrypted_ = 0;
  int LoadCache_ = 0;
};
