#include "recording/CKlRecordFile.h"

#include <sys/stat.h>

#include <algorithm>
#include <chrono>
#include <climits>
#include <cstdio>
#include <cstring>
#include <strings.h>

#include "codec/CGsmCodec.h"
#include "codec/G711.h"
#include "codec/ImaAdpcm.h"
#include "core/CKlLogger.h"
#include "core/CKlThread.h"
#include "core/Cp1252.h"
#include "core/RegularFile.h"
#include "core/Singleton.h"
#include "recording/FormatTag.h"

namespace {

using zel::kFormatALaw;
using zel::kFormatGsm;
using zel::kFormatIma;
using zel::kFormatMuLaw;
constexpr int kMinimumZelSize = CKlRecordFileHdr::kRecordSize;
constexpr int kWaitForDecodeMs = 100 * 1000;

// The last three characters of `path` equal `ending` in any letter case.
bool EndsWithNoCase(const std::string& path, const char* ending) {
  size_t n = std::strlen(ending);
  return path.size() >= n && ::strcasecmp(path.c_str() + path.size() - n, ending) == 0;
}

struct FileCloser {
  void operator()(FILE* f) const { std::fclose(f); }
};

}  // namespace

CKlRecordFile::CKlRecordFile() { CloseRecording(); }

CKlRecordFile::~CKlRecordFile() { CloseRecording(); }

int CKlRecordFile::LoadRecording(const std::string& path, const std::string& passphrase) {
  if (!path.empty() && path == path_ && sampleCount_ != 0) return 1;
  CloseRecording();

  // A FIFO or device under a recording's name is refused, never waited on.
  std::unique_ptr<FILE, FileCloser> file(zel::OpenRegularStream(path, "rb"));
  if (!file) {
    notReady_ = 1;
    return 0;
  }
  if (::fseeko(file.get(), 0, SEEK_END) != 0) return 0;
  off_t fileLength = ::ftello(file.get());
  if (fileLength < 0 || ::fseeko(file.get(), 0, SEEK_SET) != 0) return 0;

  header_ = CKlRecordFileHdr();
  off_t audioStart = 0;
  if (EndsWithNoCase(path, "zel")) {
    if (fileLength < kMinimumZelSize) return 0;
    int headerBytes = header_.ReadHeader(file.get(), passphrase);
    if (headerBytes <= 0) return 0;
    // A version-5 file keeps its 48-byte prefix and encrypted record before the audio.
    audioStart = header_.IsEncrypted() ? CKlRecordFileHdr::kPrefixSize + CKlRecordFileHdr::kRecordSize
                                       : headerBytes;
    headerFromFile_ = true;
  } else {
    // Headerless audio: the path stands in for caller and comment.
    std::string raw = zel::Utf8ToCp1252(path);
    header_.SetCallerId(raw.substr(0, 16));
    header_.SetComment(raw.substr(0, CKlRecordFileHdr::kCommentSize - 1));
    header_.SetBookmark(-1, -1);
    header_.SetImportant(0);
    header_.SetFormatTag(kFormatMuLaw);
    header_.SetDuration(0);
    headerFromFile_ = false;
  }

  if (fileLength <= audioStart) return 0;
  size_t length = static_cast<size_t>(fileLength - audioStart);
  codedAudio_.reset(static_cast<uint8_t*>(std::malloc(length)));
  if (!codedAudio_ || ::fseeko(file.get(), audioStart, SEEK_SET) != 0 ||
      std::fread(codedAudio_.get(), 1, length, file.get()) != length) {
    FreeCodedAudio();
    return 0;
  }
  file.reset();

  if (headerFromFile_ && header_.IsEncrypted() && header_.KeySizeCode() != -1) {
    // In place: whole blocks of each chunk are decrypted, a trailing part block stays.
    cipher_.DecryptBuffer(length, codedAudio_.get(), codedAudio_.get(), header_.KeyString(),
                          header_.KeySizeCode());
  }

  int samples = 0;
  if (EndsWithNoCase(path, "wav")) {
    size_t count = length / 2;
    if (count > 0 && count <= static_cast<size_t>(INT_MAX)) {
      decodedSamples_.reset(static_cast<int16_t*>(std::malloc(count * sizeof(int16_t))));
      if (decodedSamples_) {
        const uint8_t* in = codedAudio_.get();
        for (size_t i = 0; i < count; ++i) {
          decodedSamples_[i] = static_cast<int16_t>(static_cast<uint16_t>(in[2 * i] | (in[2 * i + 1] << 8)));
        }
        samples = static_cast<int>(count);
        decodedCount_ = samples;
      }
    }
    FreeCodedAudio();
  } else {
    samples = DecodeAudio(header_.FormatTag(), codedAudio_.get(), length);
  }

  if (samples <= 0) {
    StopDecoding();
    FreeCodedAudio();
    decodedSamples_.reset();
    decodedCount_ = 0;
    headerFromFile_ = false;
    return 0;
  }
  sampleCount_ = samples;
  path_ = path;
  return 1;
}

int CKlRecordFile::LoadRecordingAndWait(const std::string& path, const std::string& passphrase) {
  if (path.empty()) {
    CloseRecording();
    return 1;
  }
  int result = LoadRecording(path, passphrase);
  if (result != 0) WaitForDecoding(kWaitForDecodeMs);
  return result;
}

void CKlRecordFile::CloseRecording() {
  StopDecoding();
  decodedSamples_.reset();
  FreeCodedAudio();
  path_.clear();
  sampleCount_ = 0;
  decodedCount_ = 0;
  notReady_ = 0;
  headerDirty_ = 0;
  headerFromFile_ = false;
}

bool CKlRecordFile::IsReady() const { return !path_.empty() && notReady_.load() == 0; }
bool CKlRecordFile::HasFile() const { return !path_.empty(); }
const std::string& CKlRecordFile::Path() const { return path_; }
int CKlRecordFile::SampleCount() const { return sampleCount_; }
int CKlRecordFile::DecodedCount() const { return decodedCount_.load(std::memory_order_acquire); }

int CKlRecordFile::GetSamples(int first, int count, const int16_t** samples) const {
  if (samples != nullptr) *samples = nullptr;
  if (first < 0 || count <= 0 || first >= sampleCount_ || !decodedSamples_) return 0;
  if (samples != nullptr) *samples = decodedSamples_.get() + first;
  return std::min(count, sampleCount_ - first);
}

bool CKlRecordFile::WaitForDecoding(int milliseconds) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
  zel::MutexLock lock(threadLock_);
  while (decoding_) {
    if (milliseconds < 0) {
      finished_.Wait(threadLock_);
    } else if (!finished_.WaitUntil(threadLock_, deadline)) {
      return !decoding_;
    }
  }
  return true;
}

bool CKlRecordFile::WaitForDecodedCount(int count, int milliseconds) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
  zel::MutexLock lock(threadLock_);
  // Both sides store then load in sequential consistency: either the decoder sees
  // the wanted count and notifies under the lock, or this thread sees its count.
  wantedCount_.store(count);
  bool result = true;
  while (decoding_ && decodedCount_.load() < count) {
    if (milliseconds < 0) {
      finished_.Wait(threadLock_);
    } else if (!finished_.WaitUntil(threadLock_, deadline)) {
      result = !decoding_ || decodedCount_.load() >= count;
      break;
    }
  }
  wantedCount_.store(INT_MAX);
  return result;
}

void CKlRecordFile::PublishDecodedCount(int decoded) {
  decodedCount_.store(decoded);
  if (decoded >= wantedCount_.load()) {
    zel::MutexLock lock(threadLock_);
    finished_.SignalAll();
  }
}

int CKlRecordFile::DecodeAudio(int32_t formatTag, uint8_t* coded, size_t length) {
  switch (formatTag) {
    case kFormatALaw:
    case kFormatMuLaw: {
      if (length == 0 || length > static_cast<size_t>(INT_MAX)) break;
      decodedSamples_.reset(static_cast<int16_t*>(std::malloc(length * sizeof(int16_t))));
      if (!decodedSamples_) break;
      zel::DecodeG711(formatTag == kFormatALaw ? zel::kALawTable.data() : zel::kMuLawTable.data(),
                      coded, length, decodedSamples_.get());
      notReady_ = 0;
      FreeCodedAudio();
      decodedCount_.store(static_cast<int>(length), std::memory_order_release);
      return static_cast<int>(length);
    }
    case kFormatIma:
      return StartImaDecode(coded, length);
    case kFormatGsm:
      return StartGsmDecode(coded, length);
    default:
      break;
  }
  FreeCodedAudio();
  return 0;
}

int CKlRecordFile::StartGsmDecode(uint8_t* coded, size_t length) {
  size_t samples = length / CGsmCodec::kFrameBytes * CGsmCodec::kFrameSamples;
  if (samples == 0 || samples > static_cast<size_t>(INT_MAX)) {
    FreeCodedAudio();
    return 0;
  }
  return StartDecodeThread(Coding::kGsm, coded, length, static_cast<int>(samples));
}

int CKlRecordFile::StartImaDecode(uint8_t* coded, size_t length) {
  size_t samples = length / zel::kImaBlockBytes * zel::kImaBlockSamples;
  if (samples == 0 || samples > static_cast<size_t>(INT_MAX)) {
    FreeCodedAudio();
    return 0;
  }
  return StartDecodeThread(Coding::kIma, coded, length, static_cast<int>(samples));
}

int CKlRecordFile::StartDecodeThread(Coding coding, uint8_t* coded, size_t length, int samples) {
  // calloc: the zeros that stand for samples not yet decoded come from fresh pages
  // without touching them, so even an hour's buffer is ready at once.
  decodedSamples_.reset(static_cast<int16_t*>(std::calloc(static_cast<size_t>(samples), sizeof(int16_t))));
  if (!decodedSamples_) {
    FreeCodedAudio();
    return 0;
  }
  notReady_ = 1;
  nextSample_ = decodedSamples_.get();
  nextCoded_ = coded;
  bytesLeft_ = length;
  decodedCount_ = 0;
  stopDecoding_ = false;
  zel::MutexLock lock(threadLock_);
  decoding_ = true;
  try {
    decodeThread_ = std::thread(&CKlRecordFile::DecodeLoop, this, coding);
  } catch (const std::system_error& error) {
    Singleton<CKlLogger>::Instance()->LogLine("CKlRecordFile: cannot start decoding: %s",
                                              error.what());
    decoding_ = false;
    notReady_ = 0;
    decodedSamples_.reset();
    FreeCodedAudio();
    return 0;
  }
  return samples;
}

void CKlRecordFile::DecodeLoop(Coding coding) {
  CKlThread::SetCurrentThreadPriority(THREAD_PRIORITY_BELOW_NORMAL);
  int decoded = 0;
  if (coding == Coding::kGsm) {
    CGsmCodec codec;
    while (!stopDecoding_.load(std::memory_order_relaxed) && bytesLeft_ >= CGsmCodec::kFrameBytes &&
           codec.IsValid()) {
      codec.DecodeFrame(nextCoded_, nextSample_);
      nextCoded_ += CGsmCodec::kFrameBytes;
      nextSample_ += CGsmCodec::kFrameSamples;
      bytesLeft_ -= CGsmCodec::kFrameBytes;
      decoded += CGsmCodec::kFrameSamples;
      PublishDecodedCount(decoded);
    }
  } else {
    while (!stopDecoding_.load(std::memory_order_relaxed) && bytesLeft_ >= zel::kImaBlockBytes) {
      zel::DecodeImaBlock(nextCoded_, nextSample_);
      nextCoded_ += zel::kImaBlockBytes;
      nextSample_ += zel::kImaBlockSamples;
      bytesLeft_ -= zel::kImaBlockBytes;
      decoded += zel::kImaBlockSamples;
      PublishDecodedCount(decoded);
    }
  }
  FreeCodedAudio();
  notReady_ = 0;
  zel::MutexLock lock(threadLock_);
  decoding_ = false;
  finished_.SignalAll();
}

void CKlRecordFile::FinishDecoding() {
  std::thread thread;
  {
    zel::MutexLock lock(threadLock_);
    thread = std::move(decodeThread_);
  }
  if (thread.joinable()) thread.join();
}

void CKlRecordFile::StopDecoding() {
  stopDecoding_ = true;
  FinishDecoding();
}

void CKlRecordFile::KeepSamples(int first, int last) {
  first = std::clamp(first, 0, sampleCount_);
  last = std::clamp(last, first, sampleCount_);
  int count = last - first;
  std::unique_ptr<int16_t[], FreeDeleter> kept;
  if (count > 0) {
    kept.reset(static_cast<int16_t*>(std::malloc(static_cast<size_t>(count) * sizeof(int16_t))));
    if (!kept) count = 0;
    else std::memcpy(kept.get(), decodedSamples_.get() + first, static_cast<size_t>(count) * sizeof(int16_t));
  }
  decodedSamples_ = std::move(kept);
  sampleCount_ = count;
  decodedCount_ = count;
}

std::string CKlRecordFile::GetCallerId() const { return header_.CallerIdUtf8(); }

void CKlRecordFile::SetCallerId(const std::string& text) {
  std::string raw = zel::Utf8ToCp1252(text).substr(0, CKlRecordFileHdr::kCallerIdSize - 1);
  if (raw == header_.CallerId()) return;
  header_.SetCallerId(raw);
  headerDirty_ = 1;
}

std::string CKlRecordFile::GetComment() const { return header_.CommentUtf8(); }

void CKlRecordFile::SetComment(const std::string& text) {
  std::string raw = zel::Utf8ToCp1252(text).substr(0, CKlRecordFileHdr::kCommentSize - 1);
  if (raw == header_.Comment()) return;
  header_.SetComment(raw);
  headerDirty_ = 1;
}

void CKlRecordFile::SetImportant(uint32_t value) {
  if (value == header_.Important()) return;
  header_.SetImportant(value);
  headerDirty_ = 1;
}

bool CKlRecordFile::GetBookmark(int& start, int& end) const { return header_.GetBookmark(start, end); }

int CKlRecordFile::SetBookmark(int start, int end) {
  int oldStart = -1, oldEnd = -1;
  bool found = header_.GetBookmark(oldStart, oldEnd);
  if (found && oldStart == start && oldEnd == end) return 1;
  std::string before = header_.Comment();
  int result = header_.SetBookmark(start, end);
  // Removing a bookmark that is not there, or a refused pair, changes nothing.
  if (header_.Comment() != before) headerDirty_ = 1;
  return result;
}

bool CKlRecordFile::SaveIfDirty() {
  if (path_.empty()) return false;
  if (headerDirty_ == 0) return true;
  if (!headerFromFile_) {
    Singleton<CKlLogger>::Instance()->LogLine(
        "CKlRecordFile: %s has no header of its own; annotations are not written",
        path_.c_str());
    return false;
  }
  // SaveHeader would create a header-only file where the recording has gone.
  struct stat info {};
  if (::stat(path_.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) return false;
  if (header_.SaveHeader(path_) == 0) return false;
  headerDirty_ = 0;
  return true;
}

bool CKlRecordFile::HeaderDirty() const { return headerDirty_ != 0; }
CKlRecordFileHdr& CKlRecordFile::Header() { return header_; }
const CKlRecordFileHdr& CKlRecordFile::Header() const { return header_; }
