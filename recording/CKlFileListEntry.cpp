#include "recording/CKlFileListEntry.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "core/RegularFile.h"
#include "recording/CKlRecordFileHdr.h"

namespace {

constexpr size_t kShortTextChars = 127;
constexpr size_t kCommentChars = 1023;

// The first `count` characters of a UTF-8 text, never splitting a character.
std::string CutUtf8(std::string text, size_t count) {
  if (text.size() <= count) return text;  // no more characters than bytes; moved, not copied
  size_t i = 0;
  for (size_t n = 0; n < count && i < text.size(); ++n) {
    ++i;
    while (i < text.size() && (static_cast<unsigned char>(text[i]) & 0xC0) == 0x80) ++i;
  }
  text.resize(i);
  return text;
}

// Lists keep many thousands of entries: store texts without spare capacity.
void Store(std::string& member, std::string text) {
  member = std::move(text);
  member.shrink_to_fit();
}

}  // namespace

CKlFileListEntry::CKlFileListEntry()
    : CallerIdText_("?"), UserIdText_("?"), DurationText_("?"), DateTimeText_("?"), AuxDurationText_("?") {}

CKlFileListEntry::~CKlFileListEntry() = default;

void CKlFileListEntry::SetPath(const std::string& path) {
  Store(Path_, path);
  UserIdText_ = "?";
  DateTimeText_ = "?";
  size_t dash = path.find("-2");
  if (dash == std::string::npos) return;
  size_t slash = path.rfind('/');
  size_t nameStart = slash == std::string::npos ? 0 : slash + 1;
  // The file name is "<user>-<date and time>.zel"; a "-2" inside a folder name wins
  // and leaves the user text empty.
  Store(DateTimeText_, CutUtf8(path.substr(dash + 1), kShortTextChars));
  Store(UserIdText_, dash > nameStart ? CutUtf8(path.substr(nameStart, dash - nameStart), kShortTextChars)
                                      : std::string());
}

void CKlFileListEntry::LoadDetails(const std::string& passphrase, int folderFd) {
  if (DetailsLoaded_ != 0) return;
  CKlRecordFileHdr header;
  const int result = header.LoadHeader(Path_, passphrase, folderFd);
  int64_t fileSize = -1;
  if (result > 0) {
    struct stat st;
    const size_t slash = Path_.rfind('/');
    const int got = folderFd >= 0 && slash != std::string::npos
                        ? ::fstatat(folderFd, Path_.c_str() + slash + 1, &st, 0)
                        : ::stat(Path_.c_str(), &st);
    if (got == 0) fileSize = static_cast<int64_t>(st.st_size);
  }
  Apply(header, result, fileSize);
}

void CKlFileListEntry::LoadDetailsFrom(int fd, const struct stat& st, const std::string& passphrase) {
  if (DetailsLoaded_ != 0) return;
  CKlRecordFileHdr header;
  const int64_t fileSize = static_cast<int64_t>(st.st_size);
  Apply(header, header.LoadHeaderFrom(fd, passphrase, fileSize), fileSize);
}

void CKlFileListEntry::Apply(const CKlRecordFileHdr& header, int result, int64_t fileSize) {
  if (result > 0) {
    // Archiving may strip a call down to its header; the header still holds the
    // length the call had, but nothing is left to play. When the size cannot be
    // told, the header's word stands.
    const int64_t audioStart =
        header.IsEncrypted() ? CKlRecordFileHdr::kPrefixSize + CKlRecordFileHdr::kRecordSize : result;
    TakeDetails(header, fileSize < 0 || fileSize > audioStart);
    return;
  }
  // An unknown version (-1) is as unreadable as a missing file.
  const bool decryption = result == 0 && header.IsEncrypted();
  const char* shortText = decryption ? "Decryption error!" : "File error!";
  Store(CommentText_, decryption ? "Decryption error! Unable to decrypt the file using the passphrase specified!"
                                 : "File error! Unable to find or open the filename specified!");
  Store(CallerIdText_, shortText);
  Store(DurationText_, shortText);
  Store(DateTimeText_, shortText);
  Store(UserIdText_, shortText);
  if (decryption) Encrypted_ = 1;
  DetailsLoaded_ = kDetailsFailed;
}

void CKlFileListEntry::TakeDetails(const CKlRecordFileHdr& header, bool hasAudio) {
  Important_ = header.Important();
  StartTime_ = header.LocalStartTime();
  Duration_ = hasAudio ? header.Duration() : 0;
  AuxDuration_ = header.AuxDuration();
  AuxCode_ = header.AuxCode();
  Store(CallerIdText_, CutUtf8(header.CallerIdUtf8(), kShortTextChars));
  Store(UserIdText_, CutUtf8(header.UserIdUtf8(), kShortTextChars));
  Store(DateTimeText_, CutUtf8(header.FormatDateTime(), kShortTextChars));
  Store(DurationText_, CKlRecordFileHdr::FormatHms(Duration_));
  Store(CommentText_, CutUtf8(header.CommentUtf8(), kCommentChars));
  Store(AuxDurationText_, CKlRecordFileHdr::FormatHms(AuxDuration_));
  Encrypted_ = header.IsEncrypted() ? 1 : 0;
  int start = 0;
  int end = 0;
  HasBookmark_ = header.GetBookmark(start, end) ? 1 : 0;
  DetailsLoaded_ = kDetailsOk;
}

void CKlFileListEntry::RetryDetails(const std::string& passphrase) {
  if (DetailsLoaded_ != kDetailsFailed) return;
  // A failed read left the numbers at zero; a read that succeeds now sets every field.
  Encrypted_ = 0;
  DetailsLoaded_ = 0;
  LoadDetails(passphrase);
}

void CKlFileListEntry::ApplyBookmarkEdit(const std::string& passphrase, int start, int end) {
  if (DetailsLoaded_ == 0) LoadDetails(passphrase);
  if (DetailsLoaded_ != kDetailsOk) return;
  HasBookmark_ = (start >= 0 && start < end) ? 1 : 0;
}

uint64_t CKlFileListEntry::FileSize() const {
  int fd = zel::OpenRegularFile(Path_, O_RDONLY);
  if (fd < 0) return 0;
  struct stat st;
  uint64_t size = 0;
  if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode)) size = static_cast<uint64_t>(st.st_size);
  ::close(fd);
  return size;
}
