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
  if (!path.empty() && path == Path_ && SampleCount_ != 0) return 1;
  CloseRecording();

  // A FIFO or device under a recording's name is refused, never waited on.
  std::unique_ptr<FILE, FileCloser> file(zel::OpenRegularStream(path, "rb"));
  if (!file) {
    NotReady_ = 1;
    return 0;
  }
  if (::fseeko(file.get(), 0, SEEK_END) != 0) return 0;
  off_t fileLength = ::ftello(file.get());
  if (fileLength < 0 || ::fseeko(file.get(), 0, SEEK_SET) != 0) return 0;

  Header_ = CKlRecordFileHdr();
  off_t audioStart = 0;
  if (EndsWithNoCase(path, "zel")) {
    if (fileLength < kMinimumZelSize) return 0;
    int headerBytes = Header_.ReadHeader(file.get(), passphrase);
    if (headerBytes <= 0) return 0;
    // A version-5 file keeps its 48-byte prefix and encrypted record before the audio.
    audioStart = Header_.IsEncrypted() ? CKlRecordFileHdr::kPrefixSize + CKlRecordFileHdr::kRecordSize
                                       : headerBytes;
    HeaderFromFile_ = true;
  } else {
    // Headerless audio: the path stands in for caller and comment.
    std::string raw = zel::Utf8ToCp1252(path);
    Header_.SetCallerId(raw.substr(0, 16));
    Header_.SetComment(raw.substr(0, CKlRecordFileHdr::kCommentSize - 1));
    Header_.SetBookmark(-1, -1);
    Header_.SetImportant(0);
    Header_.SetFormatTag(kFormatMuLaw);
    Header_.SetDuration(0);
    HeaderFromFile_ = false;
  }

  if (fileLength <= audioStart) return 0;
  size_t length = static_cast<size_t>(fileLength - audioStart);
  CodedAudio_.reset(static_cast<uint8_t*>(std::malloc(length)));
  if (!CodedAudio_ || ::fseeko(file.get(), audioStart, SEEK_SET) != 0 ||
      std::fread(CodedAudio_.get(), 1, length, file.get()) != length) {
    FreeCodedAudio();
    return 0;
  }
  file.reset();

  if (HeaderFromFile_ && Header_.IsEncrypted() && Header_.KeySizeCode() != -1) {
    // In place: whole blocks of each chunk are decrypted, a trailing part block stays.
    Cipher_.DecryptBuffer(length, CodedAudio_.get(), CodedAudio_.get(), Header_.KeyString(),
                          Header_.KeySizeCode());
  }

  int samples = 0;
  if (EndsWithNoCase(path, "wav")) {
    size_t count = length / 2;
    if (count > 0 && count <= static_cast<size_t>(INT_MAX)) {
      DecodedSamples_.reset(static_cast<int16_t*>(std::malloc(count * sizeof(int16_t))));
      if (DecodedSamples_) {
        const uint8_t* in = CodedAudio_.get();
        for (size_t i = 0; i < count; ++i) {
          DecodedSamples_[i] = static_cast<int16_t>(static_cast<uint16_t>(in[2 * i] | (in[2 * i + 1] << 8)));
        }
        samples = static_cast<int>(count);
        DecodedCount_ = samples;
      }
    }
    FreeCodedAudio();
  } else {
    samples = DecodeAudio(Header_.FormatTag(), CodedAudio_.get(), length);
  }

  if (samples <= 0) {
    StopDecoding();
    FreeCodedAudio();
    DecodedSamples_.reset();
    DecodedCount_ = 0;
    HeaderFromFile_ = false;
    return 0;
  }
  SampleCount_ = samples;
  Path_ = path;
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
  DecodedSamples_.reset();
  FreeCodedAudio();
  Path_.clear();
  SampleCount_ = 0;
  DecodedCount_ = 0;
  NotReady_ = 0;
  HeaderDirty_ = 0;
  HeaderFromFile_ = false;
}

bool CKlRecordFile::IsReady() const { return !Path_.empty() && NotReady_.load() == 0; }
bool CKlRecordFile::HasFile() const { return !Path_.empty(); }
const std::string& CKlRecordFile::Path() const { return Path_; }
int CKlRecordFile::SampleCount() const { return SampleCount_; }
int CKlRecordFile::DecodedCount() const { return DecodedCount_.load(std::memory_order_acquire); }

int CKlRecordFile::GetSamples(int first, int count, const int16_t** samples) const {
  if (samples != nullptr) *samples = nullptr;
  if (first < 0 || count <= 0 || first >= SampleCount_ || !DecodedSamples_) return 0;
  if (samples != nullptr) *samples = DecodedSamples_.get() + first;
  return std::min(count, SampleCount_ - first);
}

bool CKlRecordFile::WaitForDecoding(int milliseconds) {
  std::unique_lock<std::mutex> lock(ThreadLock_);
  if (milliseconds < 0) {
    Finished_.wait(lock, [this] { return !Decoding_; });
    return true;
  }
  return Finished_.wait_for(lock, std::chrono::milliseconds(milliseconds),
                            [this] { return !Decoding_; });
}

bool CKlRecordFile::WaitForDecodedCount(int count, int milliseconds) {
  std::unique_lock<std::mutex> lock(ThreadLock_);
  // Both sides store then load in sequential consistency: either the decoder sees
  // the wanted count and notifies under the lock, or this thread sees its count.
  WantedCount_.store(count);
  auto reached = [this, count] { return !Decoding_ || DecodedCount_.load() >= count; };
  bool result = true;
  if (milliseconds < 0) {
    Finished_.wait(lock, reached);
  } else {
    result = Finished_.wait_for(lock, std::chrono::milliseconds(milliseconds), reached);
  }
  WantedCount_.store(INT_MAX);
  return result;
}

void CKlRecordFile::PublishDecodedCount(int decoded) {
  DecodedCount_.store(decoded);
  if (decoded >= WantedCount_.load()) {
    std::lock_guard<std::mutex> lock(ThreadLock_);
    Finished_.notify_all();
  }
}

int CKlRecordFile::DecodeAudio(int32_t formatTag, uint8_t* coded, size_t length) {
  switch (formatTag) {
    case kFormatALaw:
    case kFormatMuLaw: {
      if (length == 0 || length > static_cast<size_t>(INT_MAX)) break;
      DecodedSamples_.reset(static_cast<int16_t*>(std::malloc(length * sizeof(int16_t))));
      if (!DecodedSamples_) break;
      zel::DecodeG711(formatTag == kFormatALaw ? zel::kALawTable.data() : zel::kMuLawTable.data(),
                      coded, length, DecodedSamples_.get());
      NotReady_ = 0;
      FreeCodedAudio();
      DecodedCount_.store(static_cast<int>(length), std::memory_order_release);
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
  DecodedSamples_.reset(static_cast<int16_t*>(std::calloc(static_cast<size_t>(samples), sizeof(int16_t))));
  if (!DecodedSamples_) {
    FreeCodedAudio();
    return 0;
  }
  NotReady_ = 1;
  NextSample_ = DecodedSamples_.get();
  NextCoded_ = coded;
  BytesLeft_ = length;
  DecodedCount_ = 0;
  StopDecoding_ = false;
  std::lock_guard<std::mutex> lock(ThreadLock_);
  Decoding_ = true;
  try {
    DecodeThread_ = std::thread(&CKlRecordFile::DecodeLoop, this, coding);
  } catch (const std::system_error& error) {
    Singleton<CKlLogger>::Instance()->LogLine("CKlRecordFile: cannot start decoding: %s",
                                              error.what());
    Decoding_ = false;
    NotReady_ = 0;
    DecodedSamples_.reset();
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
    while (!StopDecoding_.load(std::memory_order_relaxed) && BytesLeft_ >= CGsmCodec::kFrameBytes &&
           codec.IsValid()) {
      codec.DecodeFrame(NextCoded_, NextSample_);
      NextCoded_ += CGsmCodec::kFrameBytes;
      NextSample_ += CGsmCodec::kFrameSamples;
      BytesLeft_ -= CGsmCodec::kFrameBytes;
      decoded += CGsmCodec::kFrameSamples;
      PublishDecodedCount(decoded);
    }
  } else {
    while (!StopDecoding_.load(std::memory_order_relaxed) && BytesLeft_ >= zel::kImaBlockBytes) {
      zel::DecodeImaBlock(NextCoded_, NextSample_);
      NextCoded_ += zel::kImaBlockBytes;
      NextSample_ += zel::kImaBlockSamples;
      BytesLeft_ -= zel::kImaBlockBytes;
      decoded += zel::kImaBlockSamples;
      PublishDecodedCount(decoded);
    }
  }
  FreeCodedAudio();
  NotReady_ = 0;
  std::lock_guard<std::mutex> lock(ThreadLock_);
  Decoding_ = false;
  Finished_.notify_all();
}

void CKlRecordFile::FinishDecoding() {
  std::thread thread;
  {
    std::lock_guard<std::mutex> lock(ThreadLock_);
    thread = std::move(DecodeThread_);
  }
  if (thread.joinable()) thread.join();
}

void CKlRecordFile::StopDecoding() {
  StopDecoding_ = true;
  FinishDecoding();
}

void CKlRecordFile::KeepSamples(int first, int last) {
  first = std::clamp(first, 0, SampleCount_);
  last = std::clamp(last, first, SampleCount_);
  int count = last - first;
  std::unique_ptr<int16_t[], FreeDeleter> kept;
  if (count > 0) {
    kept.reset(static_cast<int16_t*>(std::malloc(static_cast<size_t>(count) * sizeof(int16_t))));
    if (!kept) count = 0;
    else std::memcpy(kept.get(), DecodedSamples_.get() + first, static_cast<size_t>(count) * sizeof(int16_t));
  }
  DecodedSamples_ = std::move(kept);
  SampleCount_ = count;
  DecodedCount_ = count;
}

std::string CKlRecordFile::GetCallerId() const { return Header_.CallerIdUtf8(); }

void CKlRecordFile::SetCallerId(const std::string& text) {
  std::string raw = zel::Utf8ToCp1252(text).substr(0, CKlRecordFileHdr::kCallerIdSize - 1);
  if (raw == Header_.CallerId()) return;
  Header_.SetCallerId(raw);
  HeaderDirty_ = 1;
}

std::string CKlRecordFile::GetComment() const { return Header_.CommentUtf8(); }

void CKlRecordFile::SetComment(const std::string& text) {
  std::string raw = zel::Utf8ToCp1252(text).substr(0, CKlRecordFileHdr::kCommentSize - 1);
  if (raw == Header_.Comment()) return;
  Header_.SetComment(raw);
  HeaderDirty_ = 1;
}

void CKlRecordFile::SetImportant(uint32_t value) {
  if (value == Header_.Important()) return;
  Header_.SetImportant(value);
  HeaderDirty_ = 1;
}

bool CKlRecordFile::GetBookmark(int& start, int& end) const { return Header_.GetBookmark(start, end); }

int CKlRecordFile::SetBookmark(int start, int end) {
  int oldStart = -1, oldEnd = -1;
  bool found = Header_.GetBookmark(oldStart, oldEnd);
  if (found && oldStart == start && oldEnd == end) return 1;
  std::string before = Header_.Comment();
  int result = Header_.SetBookmark(start, end);
  // Removing a bookmark that is not there, or a refused pair, changes nothing.
  if (Header_.Comment() != before) HeaderDirty_ = 1;
  return result;
}

bool CKlRecordFile::SaveIfDirty() {
  if (Path_.empty()) return false;
  if (HeaderDirty_ == 0) return true;
  if (!HeaderFromFile_) {
    Singleton<CKlLogger>::Instance()->LogLine(
        "CKlRecordFile: %s has no header of its own; annotations are not written",
        Path_.c_str());
    return false;
  }
  // SaveHeader would create a header-only file where the recording has gone.
  struct stat info {};
  if (::stat(Path_.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) return false;
  if (Header_.SaveHeader(Path_) == 0) return false;
  HeaderDirty_ = 0;
  return true;
}

bool CKlRecordFile::HeaderDirty() const { return HeaderDirty_ != 0; }
CKlRecordFileHdr& CKlRecordFile::Header() { return Header_; }
const CKlRecordFileHdr& CKlRecordFile::Header() const { return Header_; }
