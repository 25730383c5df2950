#pragma once
#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>

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

  // Reads from an open binary file (positioned anywhere; the read seeks as needed).
  // Returns the header bytes before the audio (1176 or 1440), -1 for an unknown
  // version, 0 for a read error or a version-5 file that could not be decrypted
  // (IsEncrypted() then tells the two apart). On success the file is left at the
  // first audio byte (1176, 1440, or 1488 for version 5). After a result other than
  // 1176/1440 the header refuses to be written (see WriteHeader).
  virtual int ReadHeader(FILE* file, const std::string& passphrase);
  // Opens `path` and reads it once; later calls return the cached result without
  // touching the file. A result of 0 (unreadable, undecryptable) is not cached, so a
  // later call with another passphrase tries again. A file that cannot be opened
  // gives 0 and a fresh record whose SiteCode is "Load failed". With `folderFd`, an
  // open descriptor of the folder `path` lies in, the file is opened by its name
  // relative to it (searches load thousands of files of one folder in a row).
  virtual int LoadHeader(const std::string& path, const std::string& passphrase, int folderFd = -1);
  // The same for a file the caller opened (and closes): read with pread, so the
  // position does not matter. `fileLength`, when known (>= 0), saves asking for it.
  int LoadHeaderFrom(int fd, const std::string& passphrase, int64_t fileLength = -1);
  // Writes the header at the start of `file` (opened for update), leaving every byte
  // after it untouched. Versions 2 and 3 are written as version 4; an encrypted
  // header is written as the 48-byte prefix and the encrypted record. Returns false,
  // with nothing written, when the header holds no usable record (its last read
  // failed) or the encryption failed; false also on a seek, write or flush error.
  virtual bool WriteHeader(FILE* file);
  // Writes the header into `path` in place (audio untouched). A missing file is
  // created holding only the header (through a temporary file and a rename).
  // Returns 1 on success, 0 on any failure.
  virtual int SaveHeader(const std::string& path);

  // StartTime, shifted by the local standard-time offset (the C runtime's
  // `timezone`, no daylight saving) for the site codes "VLUK" and "ZOvAR".
  int32_t LocalStartTime() const;
  // LocalStartTime broken down as UTC, shown as the locale's short date and time
  // joined by a blank; at most 20 characters, UTF-8.
  std::string FormatDateTime() const;
  // HH:MM:SS, hours with more digits when needed.
  static std::string FormatHms(uint32_t seconds);
  // The bookmark kept in the comment's system trailer, in seconds.
  bool GetBookmark(int& start, int& end) const;
  // Writes the bookmark line and system trailer when 0 <= start < end, removes them
  // for (-1, -1); returns 1 then, 0 (nothing changed) for any other pair.
  int SetBookmark(int start, int end);
  // Makes the header an encrypted (version-5) one under the KeyString of `passphrase`
  // with key size code 0, 1 or 2; code -1 or an empty passphrase makes it plain.
  // False for other codes (nothing changed). This changes the header's length in the
  // file (1440 <-> 1488 bytes), so it is for writing new files only: written over an
  // existing recording it would overlap the first audio bytes.
  bool SetEncryption(const std::string& passphrase, int keySizeCode);
  // False after a failed read: WriteHeader and SaveHeader then refuse to write.
  bool IsWritable() const { return Writable_ != 0; }

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
  void SetAuxCode(uint32_t value);
  uint32_t AuxDuration() const;
  void SetAuxDuration(uint32_t value);
  uint32_t Reserved1() const;
  uint32_t Reserved2() const;

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
  std::string SiteCodeUtf8() const;

  bool IsEncrypted() const { return Encrypted_ != 0; }
  int KeySizeCode() const { return KeySizeCode_; }
  const std::string& KeyString() const { return KeyString_; }
  const uint8_t* Record() const { return Record_; }

 private:
  static constexpr int kKeyCheckSize = 40;
  static constexpr int kPassphraseSize = 40;

  void ResetToNew();
  void ClearForRead();
  std::string_view Text(int offset, int size) const;
  void SetText(int offset, int size, const std::string& raw);
  uint32_t U32(int offset) const;
  void PutU32(int offset, uint32_t value);
  // Reads the header from the first bytes of a file: `got` bytes from offset 0 (all
  // of the prefix and record when the file has them), `fileLength` -1 when unknown.
  // Returns what ReadHeader returns.
  int ParseHeader(const uint8_t* data, size_t got, int64_t fileLength, const std::string& passphrase);
  int ParseVersion5(const uint8_t* data, size_t got, const std::string& passphrase);
  // The bytes WriteHeader puts at the start of the file; false when there are none.
  bool BuildFileBytes(std::string& bytes);
  void DeriveVersion4Duration(int64_t fileLength);

  uint8_t Record_[kRecordSize];
  CKlAESCipher Cipher_;
  // The version-5 prefix as read (or set by SetEncryption); KeyCheck_ without the XOR.
  uint32_t PrefixVersion_ = 5;
  int KeySizeCode_ = -1;
  uint8_t KeyCheck_[kKeyCheckSize] = {};
  std::string KeyString_;  // KeyCheck_ up to its first NUL
  char Passphrase_[kPassphraseSize] = {};
  uint32_t Encrypted_ = 0;
  uint32_t Writable_ = 1;
  int LoadCache_ = 0;
};
