#include "cli/ExportCommand.h"

#include <cmath>
#include <cstdio>
#include <memory>

#include "audio/CompactExport.h"
#include "audio/ISaveFileChooser.h"
#include "audio/WavExport.h"
#include "cli/CliSupport.h"
#include "cli/JsonWriter.h"
#include "core/AtomicFile.h"
#include "core/WriteTarget.h"
#include "recording/CBookmarkRecordFile.h"
#include "recording/CKlRecordFile.h"

ZEL_REGISTER_COMMAND(ExportCommand);

namespace {

// Answers every save dialog with the path of the command line.
class FixedPathChooser : public ISaveFileChooser {
 public:
  FixedPathChooser(std::string path, int filterIndex) : path_(std::move(path)), index_(filterIndex) {}
  std::optional<SaveFileChoice> ChooseSaveFile(const SaveFileRequest&) override {
    return SaveFileChoice{path_, index_};
  }

 private:
  std::string path_;
  int index_;
};

}  // namespace

std::vector<OptionSpec> ExportCommand::RecordingOptions() const {
  return {OutputOption(), {"format"}, {"pcm", 0}, {"gsm", 0}, {"native", 0}, {"clip", 0}, {"normalise", 0}};
}

int ExportCommand::Validate(const ArgParser& args) {
  if (int status = RequireOutput(args, "OUT"); status != zel::cli::kExitOk) return status;
  bool pcm = args.Has("pcm"), gsm = args.Has("gsm"), native = args.Has("native");
  if ((pcm && gsm) || (native && (pcm || gsm))) {
    return UsageError("--pcm, --gsm and --native exclude each other");
  }
  kind_ = pcm ? Kind::Pcm : gsm ? Kind::Gsm : native ? Kind::Native : Kind::Default;
  if (args.Has("format")) {
    if (pcm || gsm || native) return UsageError("--format replaces --pcm, --gsm and --native");
    const std::string name = args.Value("format");
    if (name == "wav") {
      kind_ = Kind::Pcm;
    } else if (name == "gsm") {
      kind_ = Kind::Gsm;
    } else if (name == "native") {
      kind_ = Kind::Native;
    } else if (auto compact = zel::CompactFormatFromName(name)) {
      kind_ = *compact == zel::CompactFormat::Mp3 ? Kind::Mp3 : *compact == zel::CompactFormat::Opus ? Kind::Opus
                                                                                                    : Kind::Flac;
    } else {
      return UsageError("--format must be wav, gsm, mp3, opus, flac or native");
    }
  }
  normalise_ = args.Has("normalise");
  // A native copy keeps the recording's own coded audio: there is nothing to level.
  if (normalise_ && kind_ == Kind::Native) return UsageError("--normalise does not apply to native exports");
  return zel::cli::kExitOk;
}

namespace {

std::string WrittenPath(const std::string& output, bool native, std::optional<zel::CompactFormat> compact) {
  if (compact) return zel::WithEnding(output, zel::CompactExtension(*compact));
  return zel::WithExtension(output, native ? ".zel" : ".wav");
}

}  // namespace

std::optional<zel::CompactFormat> ExportCommand::CompactOf(Kind kind) {
  switch (kind) {
    case Kind::Mp3: return zel::CompactFormat::Mp3;
    case Kind::Opus: return zel::CompactFormat::Opus;
    case Kind::Flac: return zel::CompactFormat::Flac;
    default: return std::nullopt;
  }
}

int ExportCommand::ExecuteWith(const ArgParser& parser, const std::string& passphrase) {
  // Ctrl+C, a closed terminal or a stop leave no megabytes of temporary file behind.
  zel::RemoveTemporaryFilesOnSignals();
  const std::string& path = parser.Positional()[0];
  const auto compact = CompactOf(kind_);
  std::string written = WrittenPath(parser.Value("output"), kind_ == Kind::Native, compact);
  if (int status = RefuseSource(path, written); status != zel::cli::kExitOk) return status;
  if (compact && !zel::CompactFormatAvailable(*compact)) {
    zel::cli::PrintError(std::string("this system's libsndfile cannot write ") + zel::CompactName(*compact) +
                         " files");
    return zel::cli::kExitFailure;
  }
  CKlRecordFile file;
  if (file.LoadRecordingAndWait(path, passphrase) != 1 || !file.IsReady()) {
    zel::cli::PrintError("cannot load recording " + path);
    return zel::cli::kExitFailure;
  }
  zel::cli::AuditDecrypt(path, file.Header().IsEncrypted());
  bool clip = parser.Has("clip");
  int start = 0, end = 0;
  if (clip && !file.GetBookmark(start, end)) {
    zel::cli::PrintError(path + " has no bookmark");
    return zel::cli::kExitFailure;
  }
  if (kind_ == Kind::Gsm && !zel::GsmCodecAvailable()) {
    zel::cli::PrintError("the GSM 6.10 converter is not available");
    return zel::cli::kExitFailure;
  }
  return Write(file, parser, passphrase);
}

const char* ExportCommand::FormatName(bool gsmAvailable) const {
  if (const auto compact = CompactOf(kind_)) return zel::CompactName(*compact);
  if (kind_ == Kind::Native) return "zel";
  return (kind_ == Kind::Pcm || !gsmAvailable) ? "pcm" : "gsm";
}

// Writes the export through the desktop program's save functions, the path of the
// command line answering their save dialog. With --normalise they write the call's
// even-loudness copy, already cut to the span.
int ExportCommand::Write(const CKlRecordFile& file, const ArgParser& parser, const std::string& passphrase) const {
  const bool native = kind_ == Kind::Native, clip = parser.Has("clip");
  const auto compact = CompactOf(kind_);
  std::optional<double> loudness;
  std::unique_ptr<CBookmarkRecordFile> levelled;
  if (normalise_) {
    levelled = zel::EvenLoudnessCopy(file, clip, passphrase, &loudness);
    if (!levelled) {
      zel::cli::PrintError("cannot read " + std::string(clip ? "the bookmarked span of " : "") + file.Path() + ": " +
                           zel::LastWriteError());
      return zel::cli::kExitFailure;
    }
  }
  const CKlRecordFile& source = levelled ? *levelled : file;
  const bool span = clip && !levelled;
  const bool gsmAvailable = zel::GsmCodecAvailable();
  // The WAV dialog's filters: GSM first when it is available, else only uncompressed.
  int filterIndex = (kind_ == Kind::Pcm && gsmAvailable) ? 1 : 0;
  auto chooser = std::make_shared<FixedPathChooser>(parser.Value("output"), filterIndex);
  zel::SetSaveFileChooser(chooser);

  bool ok;
  if (compact) {
    ok = span ? zel::ExportCompactClip(source, *compact, passphrase) : zel::ExportCompact(source, *compact);
  } else if (native) {
    ok = span ? zel::ExportNativeClip(source, passphrase) : zel::ExportNative(source);
  } else {
    ok = span ? zel::ExportWavClip(source, passphrase) : zel::ExportWav(source);
  }
  zel::SetSaveFileChooser(nullptr);
  std::string written = WrittenPath(parser.Value("output"), native, compact);
  if (!ok) {
    const std::string& reason = zel::LastWriteError();
    zel::cli::PrintError(reason.empty() ? "cannot write " + written : reason);
    return zel::cli::kExitFailure;
  }
  const char* format = FormatName(gsmAvailable);
  zel::cli::Audit("export", file.Path(), std::string(format) + (clip ? " clip" : "") + " to " + written,
                  file.Header().IsEncrypted() ? "" : file.Header().CallerIdUtf8());
  JsonWriter json;
  json.BeginObject().PathField("path", written).Field("format", format).Field("clip", clip);
  if (normalise_) {
    json.Key("loudnessBefore");
    if (loudness) json.Double(std::round(*loudness * 10) / 10);
    else json.Null();
  }
  json.EndObject();
  std::printf("%s\n", json.Text().c_str());
  return zel::cli::kExitOk;
}
