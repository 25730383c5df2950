#pragma once
#include <cstdint>
#include <string>

class CKlRecordFileHdr;
struct stat;

// The record behind every list of recordings: made cheaply from the path alone
// (user and date guessed from the file name) and filled once from the file's header
// by LoadDetails. The texts are ready for display, in UTF-8 (header texts are
// converted from Windows-1252 when the details are loaded). Copyable.
class CKlFileListEntry {
 public:
  CKlFileListEntry();
  virtual ~CKlFileListEntry();
  CKlFileListEntry(const CKlFileListEntry&) = default;
  CKlFileListEntry& operator=(const CKlFileListEntry&) = default;

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
  bool LoadFailed() const { return DetailsLoaded_ == kDetailsFailed; }

  uint32_t Important() const { return Important_; }
  void SetImportant(uint32_t value) { Important_ = value; }
  int32_t StartTime() const { return StartTime_; }
  void SetStartTime(int32_t value) { StartTime_ = value; }
  uint32_t Duration() const { return Duration_; }
  uint32_t AuxDuration() const { return AuxDuration_; }
  uint32_t AuxCode() const { return AuxCode_; }
  uint32_t Spare() const { return Spare_; }
  void SetSpare(uint32_t value) { Spare_ = value; }
  bool DetailsLoaded() const { return DetailsLoaded_ != 0; }
  const std::string& Path() const { return Path_; }
  const std::string& CallerIdText() const { return CallerIdText_; }
  const std::string& UserIdText() const { return UserIdText_; }
  const std::string& DurationText() const { return DurationText_; }
  const std::string& DateTimeText() const { return DateTimeText_; }
  const std::string& CommentText() const { return CommentText_; }
  const std::string& AuxDurationText() const { return AuxDurationText_; }
  bool HasBookmark() const { return HasBookmark_ != 0; }
  bool Encrypted() const { return Encrypted_ != 0; }
  // After the user edited caller or comment through the reader (UTF-8 texts).
  void SetCallerIdText(const std::string& text) { CallerIdText_ = text; }
  void SetCommentText(const std::string& text) { CommentText_ = text; }

 private:
  // Takes the header's fields after a LoadHeader `result`; `fileSize` -1 when unknown.
  void Apply(const CKlRecordFileHdr& header, int result, int64_t fileSize);

  static constexpr uint32_t kDetailsOk = 1;
  static constexpr uint32_t kDetailsFailed = 2;

  uint32_t Important_ = 0;
  int32_t StartTime_ = 0;
  uint32_t Duration_ = 0;
  uint32_t AuxDuration_ = 0;
  uint32_t AuxCode_ = 0;
  uint32_t Spare_ = 0;
  uint32_t DetailsLoaded_ = 0;
  uint32_t HasBookmark_ = 0;
  uint32_t Encrypted_ = 0;
  std::string Path_;
  std::string CallerIdText_;
  std::string UserIdText_;
  std::string DurationText_;
  std::string DateTimeText_;
  std::string CommentText_;
  std::string AuxDurationText_;
};
