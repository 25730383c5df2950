#include "audio/WavExport.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <optional>
#include <vector>

#include "codec/CGsm49Encoder.h"
#include "audio/CKlWav.h"
#include "audio/ISaveFileChooser.h"
#include "audio/Loudness.h"
#include "core/AtomicFile.h"
#include "core/AuditTrail.h"
#include "core/CKlLogger.h"
#include "core/WriteTarget.h"
#include "platform/MailClient.h"
#include "recording/CBookmarkRecordFile.h"
#include "recording/CKlRecordFile.h"

namespace zel {

const char* const kPlayerWebAddress = "https://www.zelvelomar.com/player/";

namespace {

const char kGsmWavFilter[] = "Wav GSM Compressed (*.wav)|*.wav|Wav Uncompressed (*.wav)|*.wav||";
const char kPcmWavFilter[] = "Wav Uncompressed (*.wav)|*.wav||";
const char kZelFilter[] = "Zel Files (*.zel)|*.zel||";

// Writes little-endian 16-bit samples in slices, so a big recording needs no
// second full-size buffer.
bool WritePcmSamples(AtomicFile& out, const int16_t* samples, size_t count) {
  constexpr size_t kSlice = 65536;
  std::vector<uint8_t> bytes(2 * std::min(count, kSlice));
  for (size_t done = 0; done < count;) {
    size_t n = std::min(kSlice, count - done);
    for (size_t i = 0; i < n; ++i) {
      uint16_t v = static_cast<uint16_t>(samples[done + i]);
      bytes[2 * i] = static_cast<uint8_t>(v & 0xFF);
      bytes[2 * i + 1] = static_cast<uint8_t>(v >> 8);
    }
    if (!out.Write(bytes.data(), 2 * n)) return false;
    done += n;
  }
  return true;
}

std::optional<SaveFileChoice> AskSavePath(const std::string& extension, const std::string& base,
                                          const char* filter) {
  SaveFileRequest request;
  request.defaultExtension = extension;
  request.fileName = base;
  request.filter = filter;
  request.initialFolder = DocumentsFolder();
  return SaveFileChooser()->ChooseSaveFile(request);
}

bool CopyFileAtomically(const std::string& from, const std::string& to) {
  FILE* in = std::fopen(from.c_str(), "rb");
  if (in == nullptr) return false;
  AtomicFile out(to);
  bool ok = out.Open();
  std::vector<char> buffer(1 << 16);
  while (ok) {
    size_t n = std::fread(buffer.data(), 1, buffer.size(), in);
    if (n == 0) {
      ok = !std::ferror(in);
      break;
    }
    ok = out.Write(buffer.data(), n);
  }
  std::fclose(in);
  return ok && out.Commit();
}

bool SendMail(const std::string& subject, const std::string& text, const std::string& attachment) {
  MailMessage message;
  message.SetSubject(subject);
  message.SetNoteText(text);
  message.AddAttachment(attachment);
  return message.Send() == MailMessage::kOk;
}

}  // namespace

bool GsmCodecAvailable() {
  CGsm49Encoder encoder;
  if (!encoder.IsValid()) return false;
  int16_t block[CGsm49Encoder::kBlockSamples] = {};
  uint8_t out[CGsm49Encoder::kBlockBytes + 1];
  out[CGsm49Encoder::kBlockBytes] = 0x5A;  // guard: a block is exactly 65 bytes
  return encoder.Encode(block, CGsm49Encoder::kBlockSamples, out) == CGsm49Encoder::kBlockBytes &&
         out[CGsm49Encoder::kBlockBytes] == 0x5A;
}

bool WriteWavSamples(const std::string& path, const int16_t* samples, size_t count,
                     bool uncompressed) {
  ClearLastWriteError();
  // Both layouts store sizes in 32 bits.
  if (count > (0xFFFFFFFFu - 64) / 2) {
    SetLastWriteError("the recording is too long for a WAV file");
    return false;
  }
  AtomicFile out(path);
  if (!out.Open()) {
    SetLastWriteError("cannot write " + path);
    return false;
  }
  std::unique_ptr<CGsm49Encoder> encoder;
  if (!uncompressed) {
    encoder = std::make_unique<CGsm49Encoder>();
    if (!encoder->IsValid()) encoder.reset();
  }
  bool ok;
  if (!encoder) {
    std::string header = CKlWav::ForPcm(static_cast<uint32_t>(count)).Bytes();
    ok = out.Write(header.data(), header.size()) && WritePcmSamples(out, samples, count);
  } else {
    std::vector<uint8_t> coded(CGsm49Encoder::EncodedSize(count));
    size_t produced = encoder->Encode(samples, count, coded.data());
    std::string header =
        CKlWav::GsmHeaderBytes(static_cast<uint32_t>(count), static_cast<uint32_t>(produced));
    ok = out.Write(header.data(), header.size()) && out.Write(coded.data(), produced);
  }
  if (!ok || !out.Commit()) {
    Singleton<CKlLogger>::Instance()->LogLine("WAV file %s could not be written", path.c_str());
    SetLastWriteError("cannot write " + path);
    return false;
  }
  return true;
}

bool WriteWav(const std::string& path, const CKlRecordFile& file, bool uncompressed) {
  if (!TargetIsNotSource(file.Path(), path)) return false;
  const int16_t* samples = nullptr;
  int n = file.SampleCount() > 0 ? file.GetSamples(0, file.SampleCount(), &samples) : 0;
  return WriteWavSamples(path, samples, n > 0 ? static_cast<size_t>(n) : 0, uncompressed);
}

bool WritePcmFile(const std::string& path, const CKlRecordFile& file) {
  ClearLastWriteError();
  if (!TargetIsNotSource(file.Path(), path)) return false;
  const int16_t* samples = nullptr;
  int n = file.SampleCount() > 0 ? file.GetSamples(0, file.SampleCount(), &samples) : 0;
  AtomicFile out(path);
  if (!out.Open() || !WritePcmSamples(out, samples, n > 0 ? static_cast<size_t>(n) : 0) ||
      !out.Commit()) {
    SetLastWriteError("cannot write " + path);
    return false;
  }
  return true;
}

std::string WithExtension(const std::string& path, const std::string& extension) {
  return WithEnding(path, extension);
}

std::string BaseName(const std::string& path) {
  size_t slash = path.find_last_of('/');
  std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
  size_t dot = name.find_last_of('.');
  return dot == std::string::npos ? name : name.substr(0, dot);
}

bool ExportWav(const CKlRecordFile& file) {
  if (!file.IsReady()) return false;
  bool gsm = GsmCodecAvailable();
  auto choice = AskSavePath("wav", BaseName(file.Path()), gsm ? kGsmWavFilter : kPcmWavFilter);
  if (!choice) return false;
  bool uncompressed = !gsm || choice->filterIndex == 1;
  return WriteWav(WithExtension(choice->path, ".wav"), file, uncompressed);
}

bool ExportNative(const CKlRecordFile& file) {
  if (!file.IsReady()) return false;
  auto choice = AskSavePath("zel", BaseName(file.Path()), kZelFilter);
  if (!choice) return false;
  return CopyRecordingFile(file.Path(), NativeFileName(choice->path));
}

bool CopyRecordingFile(const std::string& source, const std::string& target) {
  ClearLastWriteError();
  if (!TargetIsNotSource(source, target)) return false;
  if (!CopyFileAtomically(source, target)) {
    Singleton<CKlLogger>::Instance()->LogLine("Copy of %s to %s failed", source.c_str(), target.c_str());
    SetLastWriteError("cannot write " + target);
    return false;
  }
  return true;
}

std::string MailSubject(const CKlRecordFile& file) {
  const auto& header = file.Header();
  return "Recording With " + header.CallerIdUtf8() + " at " + header.FormatDateTime();
}

std::string MailNoteText(const CKlRecordFile& file) {
  const auto& header = file.Header();
  std::string text = "Please find attached a telephone conversation recorded by me as follows:\r\n";
  text += "Conversation With: " + header.CallerIdUtf8() + "\r\n";
  text += "Date & Time: " + header.FormatDateTime() + "\r\n";
  std::string comment = header.CommentUtf8();
  if (!comment.empty()) text += "My comments: " + comment + "\r\n";
  return text;
}

bool EmailWav(const CKlRecordFile& file) {
  if (!file.IsReady()) return false;
  std::string path = TempFolder() + BaseName(file.Path()) + ".wav";
  if (!WriteWav(path, file, false)) return false;
  return SendMail(MailSubject(file), MailNoteText(file), path);
}

bool EmailNative(const CKlRecordFile& file) {
  // The texts come from the header already in memory; the file itself is attached.
  return SendMail(MailSubject(file), MailNoteText(file), file.Path());
}

bool EmailNativePlain(const CKlRecordFile& file) {
  std::string text =
      "Please find attached, one or more telephone calls I have recorded\r\n\r\n"
      "These files are in compressed format.\r\nA free player is available from ";
  text += kPlayerWebAddress;
  return SendMail("My Recorded Calls", text, file.Path());
}

bool EmailClip(const CKlRecordFile& clip, const std::string& path, bool deleteAfterwards) {
  bool sent = SendMail(MailSubject(clip), MailNoteText(clip), path);
  if (deleteAfterwards) std::remove(path.c_str());
  return sent;
}

namespace {

// A private copy of `source`, or null with the reason set.
std::unique_ptr<CBookmarkRecordFile> PrivateCopy(const CKlRecordFile& source,
                                                 const std::optional<std::string>& passphrase) {
  ClearLastWriteError();
  auto copy = passphrase ? std::make_unique<CBookmarkRecordFile>(source, *passphrase)
                         : std::make_unique<CBookmarkRecordFile>(source);
  if (!copy->HasFile()) {
    SetLastWriteError("cannot read recording " + source.Path());
    return nullptr;
  }
  return copy;
}

}  // namespace

std::unique_ptr<CBookmarkRecordFile> CroppedCopy(const CKlRecordFile& source,
                                                 const std::optional<std::string>& passphrase) {
  auto clip = PrivateCopy(source, passphrase);
  if (!clip) return nullptr;
  clip->CropToBookmark();
  // A WAV or clip of nothing is no export.
  if (clip->SampleCount() <= 0) {
    SetLastWriteError("the bookmark lies beyond the end of the audio");
    return nullptr;
  }
  return clip;
}

std::unique_ptr<CBookmarkRecordFile> EvenLoudnessCopy(const CKlRecordFile& source, bool span,
                                                      const std::optional<std::string>& passphrase,
                                                      std::optional<double>* loudnessBefore,
                                                      const std::function<bool()>& stop) {
  auto copy = span ? CroppedCopy(source, passphrase) : PrivateCopy(source, passphrase);
  if (!copy) return nullptr;
  if (!copy->IsReady()) {
    SetLastWriteError("the recording could not be decompressed");
    return nullptr;
  }
  std::optional<double> loudness;
  copy->ChangeSamples([&loudness, &stop](int16_t* samples, size_t count) {
    loudness = NormaliseLoudness(samples, count, kTargetLoudness, stop);
  });
  if (stop && stop()) return nullptr;
  if (loudnessBefore) *loudnessBefore = loudness;
  return copy;
}

bool EmailWavClip(const CKlRecordFile& source, const std::optional<std::string>& passphrase) {
  auto clip = CroppedCopy(source, passphrase);
  return clip && EmailWav(*clip);
}

bool EmailNativeClip(const CKlRecordFile& source, const std::optional<std::string>& passphrase) {
  auto clip = CroppedCopy(source, passphrase);
  if (!clip) return false;
  std::string path = clip->ClipTempPath(".zel");
  if (!clip->WriteClip(path)) return false;
  return EmailClip(*clip, path, true);
}

bool ExportWavClip(const CKlRecordFile& source, const std::optional<std::string>& passphrase) {
  auto clip = CroppedCopy(source, passphrase);
  return clip && ExportWav(*clip);
}

bool ExportNativeClip(const CKlRecordFile& source, const std::optional<std::string>& passphrase) {
  auto clip = CroppedCopy(source, passphrase);
  return clip && ExportClip(*clip);
}

bool ExportClip(CBookmarkRecordFile& clip) {
  return clip.ExportClip([](const std::string& base) -> std::optional<std::string> {
    auto choice = AskSavePath("zel", base, kZelFilter);
    if (!choice) return std::nullopt;
    return NativeFileName(choice->path);
  });
}

void RecordTakenOut(const CKlRecordFile& source, bool mail, const std::string& format, bool span) {
  // A clip or a levelled copy stands for the call it was taken from.
  const CKlRecordFile* call = &source;
  while (const auto* copy = dynamic_cast<const CBookmarkRecordFile*>(call)) call = &copy->Source();
  const auto& header = call->Header();
  AuditTrail::Record(mail ? "mail" : "export", call->Path(), format + (span ? " clip" : ""),
                     header.IsEncrypted() ? "" : header.CallerIdUtf8());
}

}  // namespace zel
