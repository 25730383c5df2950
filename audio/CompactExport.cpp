#include "audio/CompactExport.h"

#include <sndfile.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <memory>

#include "audio/ISaveFileChooser.h"
#include "audio/WavExport.h"
#include "codec/SampleRate.h"
#include "core/AtomicFile.h"
#include "core/CKlLogger.h"
#include "core/Singleton.h"
#include "core/WriteTarget.h"
#include "platform/Desktop.h"
#include "recording/CBookmarkRecordFile.h"
#include "recording/CKlRecordFile.h"
#include "recording/CommentText.h"

namespace zel {

namespace {

struct FormatInfo {
  CompactFormat format;
  const char* name;
  const char* extension;
  const char* filter;
  int sndfileFormat;
};

const FormatInfo kFormats[] = {
    {CompactFormat::Mp3, "mp3", ".mp3", "MP3 Audio (*.mp3)|*.mp3||", SF_FORMAT_MPEG | SF_FORMAT_MPEG_LAYER_III},
    {CompactFormat::Opus, "opus", ".opus", "Opus Audio (*.opus)|*.opus||", SF_FORMAT_OGG | SF_FORMAT_OPUS},
    {CompactFormat::Flac, "flac", ".flac", "FLAC Audio (*.flac)|*.flac||", SF_FORMAT_FLAC | SF_FORMAT_PCM_16},
};

const FormatInfo& Info(CompactFormat format) {
  for (const FormatInfo& info : kFormats) {
    if (info.format == format) return info;
  }
  return kFormats[0];
}

SF_INFO MonoInfo(CompactFormat format) {
  SF_INFO info{};
  info.samplerate = kSamplesPerSecond;
  info.channels = 1;
  info.format = Info(format).sndfileFormat;
  return info;
}

// libsndfile takes a rate as a compression level from 0 (best) to 1 (smallest),
// spread evenly over the encoder's range: for MPEG-2.5 Layer III at 8 kHz from 64
// down to 8 kbit/s, for Opus from 256 down to 6 kbit/s. The level for the wanted
// rate sits in the middle of its step, so rounding lands on it.
bool SetRate(SNDFILE* file, CompactFormat format) {
  double level;
  if (format == CompactFormat::Mp3) {
    level = (64000.0 - kMp3BitRate) / (64000.0 - 8000.0);
  } else if (format == CompactFormat::Opus) {
    level = (256000.0 - kOpusBitRate) / (256000.0 - 6000.0);
  } else {
    return true;  // FLAC is lossless; its default level is fine
  }
  // A constant rate keeps the size of a long call predictable. libsndfile 1.2
  // answers this command with 0 also when it took it, so its error state decides.
  int mode = SF_BITRATE_MODE_CONSTANT;
  sf_command(file, SFC_SET_BITRATE_MODE, &mode, sizeof mode);
  if (sf_error(file) != SF_ERR_NO_ERROR) return false;
  return sf_command(file, SFC_SET_COMPRESSION_LEVEL, &level, sizeof level) == SF_TRUE;
}

bool WriteAll(SNDFILE* file, const int16_t* samples, size_t count) {
  constexpr size_t kSlice = 1 << 16;
  for (size_t done = 0; done < count;) {
    const auto n = static_cast<sf_count_t>(std::min(kSlice, count - done));
    if (sf_write_short(file, samples + done, n) != n) return false;
    done += static_cast<size_t>(n);
  }
  return true;
}

// ID3v2.4 sizes: 7 bits a byte.
void PutSyncsafe(std::string& out, size_t value) {
  for (int shift = 21; shift >= 0; shift -= 7) out += static_cast<char>((value >> shift) & 0x7F);
}

std::string Id3Frame(const char* id, const std::string& body) {
  std::string frame(id, 4);
  PutSyncsafe(frame, body.size());
  frame += std::string(2, '\0');
  return frame + body;
}

// The MP3 encoder writes its texts into Latin-1 frames, where UTF-8 shows as
// "MÃ¼ller": its tags are replaced by one ID3v2.4 tag whose frames say UTF-8 (3).
bool RetagMp3(int fd, const CompactTags& tags) {
  struct stat info {};
  if (::fstat(fd, &info) != 0) return false;
  std::string bytes(static_cast<size_t>(info.st_size), '\0');
  for (size_t done = 0; done < bytes.size();) {
    const ssize_t n = ::pread(fd, bytes.data() + done, bytes.size() - done, static_cast<off_t>(done));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<size_t>(n);
  }
  size_t audio = 0;
  if (bytes.size() >= 10 && bytes.compare(0, 3, "ID3") == 0) {
    size_t size = 0;
    for (int i = 6; i < 10; ++i) size = size << 7 | (static_cast<unsigned char>(bytes[i]) & 0x7F);
    audio = std::min(bytes.size(), 10 + size + ((bytes[5] & 0x10) != 0 ? 10 : 0));
  }
  size_t end = bytes.size();
  // The encoder's ID3v1 tag at the end holds the same texts in Latin-1 only.
  if (end >= audio + 128 && bytes.compare(end - 128, 3, "TAG") == 0) end -= 128;
  std::string frames;
  if (!tags.title.empty()) frames += Id3Frame("TIT2", "\x03" + tags.title);
  if (!tags.comment.empty()) frames += Id3Frame("COMM", std::string("\x03" "eng\0", 5) + tags.comment);
  frames += Id3Frame("TSSE", "\x03Zel Velomar");
  std::string tag("ID3\x04\0\0", 6);
  PutSyncsafe(tag, frames.size());
  const std::string out = tag + frames + bytes.substr(audio, end - audio);
  for (size_t done = 0; done < out.size();) {
    const ssize_t n = ::pwrite(fd, out.data() + done, out.size() - done, static_cast<off_t>(done));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<size_t>(n);
  }
  return ::ftruncate(fd, static_cast<off_t>(out.size())) == 0;
}

bool Fail(const std::string& path, const std::string& reason) {
  Singleton<CKlLogger>::Instance()->LogLine("Export %s failed: %s", path.c_str(), reason.c_str());
  SetLastWriteError("cannot write " + path + (reason.empty() ? std::string() : ": " + reason));
  return false;
}

}  // namespace

const char* CompactExtension(CompactFormat format) { return Info(format).extension; }
const char* CompactName(CompactFormat format) { return Info(format).name; }

std::optional<CompactFormat> CompactFormatFromName(const std::string& name) {
  for (const FormatInfo& info : kFormats) {
    if (name == info.name) return info.format;
  }
  return std::nullopt;
}

bool CompactFormatAvailable(CompactFormat format) {
  SF_INFO info = MonoInfo(format);
  return sf_format_check(&info) == SF_TRUE;
}

CompactTags TagsOf(const CKlRecordFile& file) {
  const auto& header = file.Header();
  CompactTags tags;
  tags.title = header.CallerIdUtf8();
  const std::string when = header.FormatDateTime();
  if (!when.empty()) tags.title += (tags.title.empty() ? "" : ", ") + when;
  tags.comment = UserCommentText(header.CommentUtf8());
  return tags;
}

bool WriteCompactSamples(const std::string& path, CompactFormat format, const int16_t* samples,
                         size_t count, const CompactTags& tags) {
  ClearLastWriteError();
  if (!CompactFormatAvailable(format)) {
    return Fail(path, std::string("this system cannot write ") + CompactName(format) + " files");
  }
  AtomicFile out(path);
  if (!out.Open()) return Fail(path, "");
  SF_INFO info = MonoInfo(format);
  // The descriptor stays the AtomicFile's: libsndfile must not close it.
  SNDFILE* file = sf_open_fd(out.fd(), SFM_WRITE, &info, SF_FALSE);
  if (file == nullptr) return Fail(path, sf_strerror(nullptr));
  bool ok = SetRate(file, format);
  // Tags go before the audio: the Ogg and MP3 writers put them at the start.
  if (ok && !tags.title.empty()) ok = sf_set_string(file, SF_STR_TITLE, tags.title.c_str()) == 0;
  if (ok && !tags.comment.empty()) ok = sf_set_string(file, SF_STR_COMMENT, tags.comment.c_str()) == 0;
  if (ok) ok = sf_set_string(file, SF_STR_SOFTWARE, "Zel Velomar") == 0;
  std::string reason = ok ? std::string() : sf_strerror(file);
  ok = ok && WriteAll(file, samples, count);
  if (!ok && reason.empty()) reason = sf_strerror(file);
  if (sf_close(file) != 0 && ok) {
    ok = false;
    reason = "the encoder could not finish the file";
  }
  if (ok && format == CompactFormat::Mp3 && !RetagMp3(out.fd(), tags)) {
    ok = false;
    reason = std::strerror(errno != 0 ? errno : EIO);
  }
  if (!ok) return Fail(path, reason);
  if (!out.Commit()) return Fail(path, "");
  return true;
}

bool WriteCompact(const std::string& path, const CKlRecordFile& file, CompactFormat format) {
  ClearLastWriteError();
  if (!TargetIsNotSource(file.Path(), path)) return false;
  const int16_t* samples = nullptr;
  int n = file.SampleCount() > 0 ? file.GetSamples(0, file.SampleCount(), &samples) : 0;
  return WriteCompactSamples(path, format, samples, n > 0 ? static_cast<size_t>(n) : 0, TagsOf(file));
}

bool ExportCompact(const CKlRecordFile& file, CompactFormat format) {
  if (!file.IsReady()) return false;
  const FormatInfo& info = Info(format);
  SaveFileRequest request;
  request.defaultExtension = info.extension + 1;
  request.fileName = BaseName(file.Path());
  request.filter = info.filter;
  request.initialFolder = DocumentsFolder();
  auto choice = SaveFileChooser()->ChooseSaveFile(request);
  if (!choice) return false;
  return WriteCompact(WithEnding(choice->path, info.extension), file, format);
}

bool ExportCompactClip(const CKlRecordFile& source, CompactFormat format,
                       const std::optional<std::string>& passphrase) {
  ClearLastWriteError();
  auto clip = CroppedCopy(source, passphrase);
  return clip && ExportCompact(*clip, format);
}

bool EmailCompact(const CKlRecordFile& file, CompactFormat format) {
  if (!file.IsReady()) return false;
  const std::string path = TempFolder() + BaseName(file.Path()) + CompactExtension(format);
  // The mail client reads the attachment after this returns: the file stays.
  return WriteCompact(path, file, format) && EmailClip(file, path, false);
}

bool EmailCompactClip(const CKlRecordFile& source, CompactFormat format,
                      const std::optional<std::string>& passphrase) {
  ClearLastWriteError();
  auto clip = CroppedCopy(source, passphrase);
  return clip && EmailCompact(*clip, format);
}

}  // namespace zel
