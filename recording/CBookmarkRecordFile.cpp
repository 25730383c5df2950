#include "recording/CBookmarkRecordFile.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <vector>

#include "codec/CGsmCodec.h"
#include "codec/SampleRate.h"
#include "core/AtomicFile.h"
#include "core/CKlLogger.h"
#include "core/CSettings.h"
#include "core/Singleton.h"
#include "core/WriteTarget.h"
#include "platform/Desktop.h"
#include "recording/FormatTag.h"

namespace {

// The bytes WriteHeader produces, caught in an anonymous temporary file.
bool HeaderBytes(CKlRecordFileHdr& header, std::vector<uint8_t>& bytes) {
  std::unique_ptr<FILE, int (*)(FILE*)> file(std::tmpfile(), &std::fclose);
  if (!file || !header.WriteHeader(file.get()) || std::fflush(file.get()) != 0) return false;
  long size = std::ftell(file.get());
  if (size <= 0) return false;
  bytes.resize(static_cast<size_t>(size));
  std::rewind(file.get());
  return std::fread(bytes.data(), 1, bytes.size(), file.get()) == bytes.size();
}

}  // namespace

CBookmarkRecordFile::CBookmarkRecordFile(const CKlRecordFile& source)
    : CBookmarkRecordFile(source, Singleton<CSettings>::Instance()->GetPassphrase()) {}

CBookmarkRecordFile::CBookmarkRecordFile(const CKlRecordFile& source, const std::string& passphrase)
    : Source_(&source) {
  LoadRecordingAndWait(source.Path(), passphrase);
}

CBookmarkRecordFile::~CBookmarkRecordFile() { CloseRecording(); }

bool CBookmarkRecordFile::CropToBookmark() {
  int start = 0, end = 0;
  if (!GetBookmark(start, end)) return false;
  // Cropping replaces the buffer the decode thread writes into.
  FinishDecoding();
  uint32_t duration = Header().Duration();
  int64_t rate = duration != 0 ? SampleCount() / static_cast<int64_t>(duration) : 0;
  // No duration, or one longer than the audio (a cut-off file): the nominal rate.
  if (rate == 0) rate = zel::kSamplesPerSecond;
  int64_t first = std::min<int64_t>(start * rate, SampleCount());
  int64_t last = std::min<int64_t>(end * rate, SampleCount());
  // A span running past the audio holds only what is there: its length, rounded to
  // whole seconds, is what the clip's header claims.
  uint32_t length = static_cast<uint32_t>(end - start);
  if (last < end * rate) {
    length = static_cast<uint32_t>((last - first + rate / 2) / rate);
    if (length == 0 && last > first) length = 1;
  }
  Header().SetDuration(length);
  KeepSamples(static_cast<int>(first), static_cast<int>(last));
  SetBookmark(-1, -1);
  return true;
}

void CBookmarkRecordFile::ChangeSamples(const std::function<void(int16_t* samples, size_t count)>& change) {
  FinishDecoding();
  if (SampleCount() > 0 && MutableSamples() != nullptr) change(MutableSamples(), static_cast<size_t>(SampleCount()));
}

bool CBookmarkRecordFile::WriteClip(const std::string& path) {
  zel::ClearLastWriteError();
  if (!HasFile()) {
    zel::SetLastWriteError("the recording could not be read");
    return false;
  }
  if (!zel::TargetIsNotSource(Path(), path)) return false;
  FinishDecoding();
  // A header without audio is a file the reader refuses.
  if (SampleCount() <= 0) {
    zel::SetLastWriteError("the span holds no audio");
    return false;
  }
  Header().SetFormatTag(zel::kFormatGsm);
  std::vector<uint8_t> header;
  if (!HeaderBytes(Header(), header)) {
    zel::SetLastWriteError("cannot build the header of the clip");
    return false;
  }

  const int16_t* samples = nullptr;
  int count = GetSamples(0, SampleCount(), &samples);
  std::vector<uint8_t> audio = CGsmCodec::Encode(samples, static_cast<size_t>(count));
  if (Header().IsEncrypted() && Header().KeySizeCode() != -1 && !audio.empty()) {
    // Zero bytes up to a whole AES block, so no part block stays plain; fewer than 33
    // bytes after the last frame are no frame to the decoder.
    audio.resize((audio.size() + CKlAESCipher::kBlockSize - 1) / CKlAESCipher::kBlockSize *
                     CKlAESCipher::kBlockSize,
                 0);
    CKlAESCipher cipher;
    if (cipher.EncryptBuffer(audio.size(), audio.data(), audio.data(), Header().KeyString(),
                             Header().KeySizeCode()) != audio.size()) {
      Singleton<CKlLogger>::Instance()->LogLine("Clip: cannot encrypt the audio of %s",
                                                path.c_str());
      zel::SetLastWriteError("cannot encrypt the audio of " + path);
      return false;
    }
  }
  zel::AtomicFile file(path);
  if (!file.Open() || !file.Write(header.data(), header.size()) ||
      !file.Write(audio.data(), audio.size()) || !file.Commit()) {
    zel::SetLastWriteError("cannot write " + path);
    return false;
  }
  return true;
}

std::string CBookmarkRecordFile::ClipTempPath(const std::string& extension) const {
  std::string folder = zel::TempFolder();
  std::string name = Path();
  size_t slash = name.rfind('/');
  if (slash != std::string::npos) name.erase(0, slash + 1);
  size_t dot = name.rfind('.');
  if (dot != std::string::npos) name.erase(dot);
  return folder + name + extension;
}

bool CBookmarkRecordFile::ExportClip(
    const std::function<std::optional<std::string>(const std::string&)>& choosePath) {
  if (!IsReady() || !choosePath) return false;
  std::string base = ClipTempPath("");
  base.erase(0, base.rfind('/') + 1);
  std::optional<std::string> path = choosePath(base);
  return path.has_value() && !path->empty() && WriteClip(*path);
}

bool CBookmarkRecordFile::SaveIfDirty() { return false; }
