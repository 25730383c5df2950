#include "recording/CKlFileListEntry.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>

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

constexpr std::string_view kQuestion = "?";
constexpr std::string_view kFileErrorText = "File error!";
constexpr std::string_view kDecryptionErrorText = "Decryption error!";

size_t PutLength(char* out, size_t length) {
  size_t n = 0;
  for (; length >= 0x80; length >>= 7) out[n++] = static_cast<char>(0x80 | (length & 0x7F));
  out[n++] = static_cast<char>(length);
  return n;
}

size_t GetLength(const char*& in) {
  size_t length = 0;
  for (int shift = 0;; shift += 7) {
    const unsigned char byte = static_cast<unsigned char>(*in++);
    length |= static_cast<size_t>(byte & 0x7F) << shift;
    if (byte < 0x80) return length;
  }
}

}  // namespace

CKlFileListEntry::CKlFileListEntry() = default;

CKlFileListEntry::~CKlFileListEntry() = default;

CKlFileListEntry::CKlFileListEntry(const CKlFileListEntry& other)
    : Important_(other.Important_),
      StartTime_(other.StartTime_),
      Duration_(other.Duration_),
      AuxDuration_(other.AuxDuration_),
      AuxCode_(other.AuxCode_),
      Spare_(other.Spare_),
      Path_(other.Path_) {
  if (!other.Texts_) return;
  std::string_view texts[kTextCount];
  other.StoredTexts(texts);
  Store(other.Flags(), texts);
}

CKlFileListEntry& CKlFileListEntry::operator=(const CKlFileListEntry& other) {
  if (this != &other) {
    CKlFileListEntry copy(other);
    Important_ = copy.Important_;
    StartTime_ = copy.StartTime_;
    Duration_ = copy.Duration_;
    AuxDuration_ = copy.AuxDuration_;
    AuxCode_ = copy.AuxCode_;
    Spare_ = copy.Spare_;
    Path_ = std::move(copy.Path_);
    Texts_ = std::move(copy.Texts_);
  }
  return *this;
}

void CKlFileListEntry::StoredTexts(std::string_view (&texts)[kTextCount]) const {
  if (!Texts_) {
    texts[kCaller] = texts[kUser] = texts[kDateTime] = kQuestion;
    texts[kComment] = std::string_view();
    return;
  }
  const char* in = Texts_.get() + 1;
  size_t lengths[kTextCount];
  for (size_t& length : lengths) length = GetLength(in);
  for (int i = 0; i < kTextCount; ++i) {
    texts[i] = std::string_view(in, lengths[i]);
    in += lengths[i];
  }
}

std::string_view CKlFileListEntry::Text(TextIndex index) const {
  const uint8_t flags = Flags();
  if (flags & kErrorTexts) {
    const bool decryption = (flags & kDecryptionError) != 0;
    if (index != kComment) return decryption ? kDecryptionErrorText : kFileErrorText;
    return decryption ? "Decryption error! Unable to decrypt the file using the passphrase specified!"
                      : "File error! Unable to find or open the filename specified!";
  }
  std::string_view texts[kTextCount];
  StoredTexts(texts);
  return texts[index];
}

std::string CKlFileListEntry::DurationText() const {
  const uint8_t flags = Flags();
  if (flags & kErrorDuration) return std::string((flags & kDecryptionError) ? kDecryptionErrorText : kFileErrorText);
  return (flags & kDurationsTaken) ? CKlRecordFileHdr::FormatHms(Duration_) : std::string(kQuestion);
}

std::string CKlFileListEntry::AuxDurationText() const {
  return (Flags() & kDurationsTaken) ? CKlRecordFileHdr::FormatHms(AuxDuration_) : std::string(kQuestion);
}

void CKlFileListEntry::Store(uint8_t flags, const std::string_view (&texts)[kTextCount]) {
  size_t size = 1;
  char lengths[kTextCount * 10];
  size_t lengthBytes = 0;
  for (const std::string_view& text : texts) {
    lengthBytes += PutLength(lengths + lengthBytes, text.size());
    size += text.size();
  }
  // Exactly the bytes needed: lists keep a million entries.
  std::unique_ptr<char[]> block(new char[size + lengthBytes]);
  char* out = block.get();
  *out++ = static_cast<char>(flags);
  out = std::copy(lengths, lengths + lengthBytes, out);
  for (const std::string_view& text : texts) out = std::copy(text.begin(), text.end(), out);
  Texts_ = std::move(block);
}

void CKlFileListEntry::SetFlags(uint8_t flags) {
  if (Texts_) {
    Texts_[0] = static_cast<char>(flags);
    return;
  }
  std::string_view texts[kTextCount];
  StoredTexts(texts);
  Store(flags, texts);
}

void CKlFileListEntry::StoreErrorTexts() {
  if (!(Flags() & kErrorTexts)) return;
  std::string_view texts[kTextCount];
  for (int i = 0; i < kTextCount; ++i) texts[i] = Text(static_cast<TextIndex>(i));
  Store(static_cast<uint8_t>(Flags() & ~kErrorTexts), texts);
}

void CKlFileListEntry::SetText(TextIndex index, std::string_view text) {
  StoreErrorTexts();
  std::string_view texts[kTextCount];
  StoredTexts(texts);
  texts[index] = text;
  Store(Flags(), texts);
}

void CKlFileListEntry::SetPath(const std::string& path) {
  Path_ = path;
  Path_.shrink_to_fit();
  StoreErrorTexts();
  std::string_view texts[kTextCount];
  StoredTexts(texts);
  texts[kUser] = texts[kDateTime] = kQuestion;
  std::string user;
  std::string dateTime;
  size_t dash = path.find("-2");
  if (dash != std::string::npos) {
    size_t slash = path.rfind('/');
    size_t nameStart = slash == std::string::npos ? 0 : slash + 1;
    // The file name is "<user>-<date and time>.zel"; a "-2" inside a folder name wins
    // and leaves the user text empty.
    dateTime = CutUtf8(path.substr(dash + 1), kShortTextChars);
    user = dash > nameStart ? CutUtf8(path.substr(nameStart, dash - nameStart), kShortTextChars) : std::string();
    texts[kUser] = user;
    texts[kDateTime] = dateTime;
  }
  Store(Flags(), texts);
}

void CKlFileListEntry::LoadDetails(const std::string& passphrase, int folderFd) {
  if (DetailsLoaded()) return;
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
  if (DetailsLoaded()) return;
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
  // An unknown version (-1) is as unreadable as a missing file. The error texts
  // stand in for caller, user, date, comment and duration.
  const bool decryption = result == 0 && header.IsEncrypted();
  uint8_t flags = static_cast<uint8_t>((Flags() & ~(kLoadMask | kDecryptionError)) | kErrorTexts | kErrorDuration |
                                       kDetailsFailed);
  if (decryption) flags |= kDecryptionError | kEncrypted;
  SetFlags(flags);
}

void CKlFileListEntry::TakeDetails(const CKlRecordFileHdr& header, bool hasAudio) {
  Important_ = header.Important();
  StartTime_ = header.LocalStartTime();
  Duration_ = hasAudio ? header.Duration() : 0;
  AuxDuration_ = header.AuxDuration();
  AuxCode_ = header.AuxCode();
  const std::string caller = CutUtf8(header.CallerIdUtf8(), kShortTextChars);
  const std::string user = CutUtf8(header.UserIdUtf8(), kShortTextChars);
  const std::string dateTime = CutUtf8(header.FormatDateTime(), kShortTextChars);
  const std::string comment = CutUtf8(header.CommentUtf8(), kCommentChars);
  int start = 0;
  int end = 0;
  uint8_t flags = static_cast<uint8_t>((Flags() & ~(kLoadMask | kErrorTexts | kErrorDuration | kDecryptionError |
                                                    kBookmark | kEncrypted)) |
                                       kDurationsTaken | kDetailsOk);
  if (header.IsEncrypted()) flags |= kEncrypted;
  if (header.GetBookmark(start, end)) flags |= kBookmark;
  const std::string_view texts[kTextCount] = {caller, user, dateTime, comment};
  Store(flags, texts);
}

void CKlFileListEntry::RetryDetails(const std::string& passphrase) {
  if (!LoadFailed()) return;
  // A failed read left the numbers at zero; a read that succeeds now sets every field.
  SetFlags(static_cast<uint8_t>(Flags() & ~(kEncrypted | kLoadMask)));
  LoadDetails(passphrase);
}

void CKlFileListEntry::ApplyBookmarkEdit(const std::string& passphrase, int start, int end) {
  if (!DetailsLoaded()) LoadDetails(passphrase);
  if ((Flags() & kLoadMask) != kDetailsOk) return;
  const bool bookmark = start >= 0 && start < end;
  SetFlags(static_cast<uint8_t>(bookmark ? (Flags() | kBookmark) : (Flags() & ~kBookmark)));
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
