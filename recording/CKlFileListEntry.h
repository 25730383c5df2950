#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

class CKlRecordFileHdr;
struct stat;

// The record behind every list of recordings: made cheaply from the path alone
// (user and date guessed from the file name) and filled once from the file's header
// by LoadDetails. The texts are ready for display, in UTF-8 (header texts are
// converted from Windows-1252 when the details are loaded). Copyable.
// Lists hold a million of these: the texts share one heap block, the durations are
// formatted when asked and the error texts come from flags. The views the text
// accessors return stay valid until the entry's texts change.
class CKlFileListEntry {
 public:
  CKlFileListEntry();
  virtual ~CKlFileListEntry();
  CKlFileListEntry(const CKlFileListEntry& other);
  CKlFileListEntry& operator=(const CKlFileListEntry& other);

  // Stores the path; the user text is what lies between the last "/" and the first
  // "-2" of the path, the date text everything after that "-".
  void SetPath(const std::string& path);
  // Reads the header once (later calls do nothing, also after a failure: make a new
  // entry to try again). A file that cannot be opened or read, or has an unknown
  // version, gets the "File error!" texts; a version-5 file that cannot be decrypted
  // with `passphrase` gets the "Decryption error!" texts and Encrypted().
  // `folderFd` as for CKlRecordFileHdr::LoadHeader.
  void LoadDetails(const std::string& passphrase, int folderFd = -1);
  // Fills the details from a header read earlier (the catalogue keeps its fields),
  // as LoadDetails does; `hasAudio` whether the file holds bytes after the header.
  void TakeDetails(const CKlRecordFileHdr& header, bool hasAudio);
  // The same from the file open at `fd` (the caller closes it), whose status is `st`.
  void LoadDetailsFrom(int fd, const struct stat& st, const std::string& passphrase);
  // Refresh after the user gave a passphrase: an entry whose file could not be read
  // or decrypted forgets that and reads the header again; others are left alone.
  void RetryDetails(const std::string& passphrase);
  // Keeps HasBookmark right after the player wrote (start, end) into the file: set
  // for 0 <= start < end, cleared for any other pair. Loads the details first when
  // needed; an entry whose file could not be read is left as it is.
  void ApplyBookmarkEdit(const std::string& passphrase, int start, int end);
  // Size of the regular file at Path(), 0 when it cannot be opened.
  uint64_t FileSize() const;
  // True once LoadDetails found the file unreadable or undecryptable.
  bool LoadFailed() const { return (Flags() & kLoadMask) == kDetailsFailed; }

  uint32_t Important() const { return Important_; }
  void SetImportant(uint32_t value) { Important_ = value; }
  int32_t StartTime() const { return StartTime_; }
  void SetStartTime(int32_t value) { StartTime_ = value; }
  uint32_t Duration() const { return Duration_; }
  uint32_t AuxDuration() const { return AuxDuration_; }
  uint32_t AuxCode() const { return AuxCode_; }
  uint32_t Spare() const { return Spare_; }
  void SetSpare(uint32_t value) { Spare_ = value; }
  bool DetailsLoaded() const { return (Flags() & kLoadMask) != 0; }
  const std::string& Path() const { return Path_; }
  std::string_view CallerIdText() const { return Text(kCaller); }
  std::string_view UserIdText() const { return Text(kUser); }
  std::string DurationText() const;
  std::string_view DateTimeText() const { return Text(kDateTime); }
  std::string_view CommentText() const { return Text(kComment); }
  std::string AuxDurationText() const;
  bool HasBookmark() const { return (Flags() & kBookmark) != 0; }
  bool Encrypted() const { return (Flags() & kEncrypted) != 0; }
  // After the user edited caller or comment through the reader (UTF-8 texts).
  void SetCallerIdText(std::string_view text) { SetText(kCaller, text); }
  void SetCommentText(std::string_view text) { SetText(kComment, text); }

 private:
  // Takes the header's fields after a LoadHeader `result`; `fileSize` -1 when unknown.
  void Apply(const CKlRecordFileHdr& header, int result, int64_t fileSize);

  enum TextIndex { kCaller, kUser, kDateTime, kComment, kTextCount };
  // The flags byte that starts the texts block.
  static constexpr uint8_t kLoadMask = 3;  // 0 not loaded, 1 loaded, 2 failed
  static constexpr uint8_t kDetailsOk = 1;
  static constexpr uint8_t kDetailsFailed = 2;
  static constexpr uint8_t kBookmark = 4;
  static constexpr uint8_t kEncrypted = 8;
  static constexpr uint8_t kErrorTexts = 16;     // the four texts read as the error texts
  static constexpr uint8_t kErrorDuration = 32;  // the duration reads as the error text
  static constexpr uint8_t kDecryptionError = 64;
  static constexpr uint8_t kDurationsTaken = 128;  // the durations came from a header

  uint8_t Flags() const { return Texts_ ? static_cast<uint8_t>(Texts_[0]) : 0; }
  void SetFlags(uint8_t flags);
  std::string_view Text(TextIndex index) const;
  void SetText(TextIndex index, std::string_view text);
  // Writes a new block with `flags` and `texts`, which may view the old one.
  void Store(uint8_t flags, const std::string_view (&texts)[kTextCount]);
  // The stored texts (without the error texts the flags may stand for).
  void StoredTexts(std::string_view (&texts)[kTextCount]) const;
  // Turns error texts the flags stand for into stored texts, before one of them changes.
  void StoreErrorTexts();

  uint32_t Important_ = 0;
  int32_t StartTime_ = 0;
  uint32_t Duration_ = 0;
  uint32_t AuxDuration_ = 0;
  uint32_t AuxCode_ = 0;
  uint32_t Spare_ = 0;
  std::string Path_;
  // Flags byte, the four texts' lengths (7 bits a byte), then their bytes; null
  // for a new entry (no flags, "?" texts, no comment).
  std::unique_ptr<char[]> Texts_;
};
