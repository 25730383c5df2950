#include "cli/ExportCommand.h"

#include <cstdio>
#include <memory>

#include "audio/ISaveFileChooser.h"
#include "audio/WavExport.h"
#include "cli/CliSupport.h"
#include "cli/JsonWriter.h"
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

int Write(const CKlRecordFile& file, const ArgParser& parser, const std::string& passphrase);

}  // namespace

std::vector<OptionSpec> ExportCommand::RecordingOptions() const {
  return {OutputOption(), {"pcm", 0}, {"gsm", 0}, {"native", 0}, {"clip", 0}};
}

int ExportCommand::Validate(const ArgParser& args) {
  if (int status = RequireOutput(args, "OUT"); status != zel::cli::kExitOk) return status;
  bool pcm = args.Has("pcm"), gsm = args.Has("gsm"), native = args.Has("native");
  if ((pcm && gsm) || (native && (pcm || gsm))) {
    return UsageError("--pcm, --gsm and --native exclude each other");
  }
  return zel::cli::kExitOk;
}

int ExportCommand::ExecuteWith(const ArgParser& parser, const std::string& passphrase) {
  const std::string& path = parser.Positional()[0];
  std::string written = zel::WithExtension(parser.Value("output"), parser.Has("native") ? ".zel" : ".wav");
  if (int status = RefuseSource(path, written); status != zel::cli::kExitOk) return status;
  CKlRecordFile file;
  if (file.LoadRecordingAndWait(path, passphrase) != 1 || !file.IsReady()) {
    zel::cli::PrintError("cannot load recording " + path);
    return zel::cli::kExitFailure;
  }
  bool clip = parser.Has("clip");
  int start = 0, end = 0;
  if (clip && !file.GetBookmark(start, end)) {
    zel::cli::PrintError(path + " has no bookmark");
    return zel::cli::kExitFailure;
  }
  if (parser.Has("gsm") && !zel::GsmCodecAvailable()) {
    zel::cli::PrintError("the GSM 6.10 converter is not available");
    return zel::cli::kExitFailure;
  }
  return Write(file, parser, passphrase);
}

namespace {

// Writes the export through the desktop program's save functions, the path of the
// command line answering their save dialog.
int Write(const CKlRecordFile& file, const ArgParser& parser, const std::string& passphrase) {
  bool pcm = parser.Has("pcm"), native = parser.Has("native"), clip = parser.Has("clip");
  bool gsmAvailable = zel::GsmCodecAvailable();
  // The dialog's filters: GSM first when it is available, else only uncompressed.
  int filterIndex = (pcm && gsmAvailable) ? 1 : 0;
  auto chooser = std::make_shared<FixedPathChooser>(parser.Value("output"), filterIndex);
  zel::SetSaveFileChooser(chooser);

  bool ok;
  if (native) {
    ok = clip ? zel::ExportNativeClip(file, passphrase) : zel::ExportNative(file);
  } else {
    ok = clip ? zel::ExportWavClip(file, passphrase) : zel::ExportWav(file);
  }
  zel::SetSaveFileChooser(nullptr);
  std::string written = zel::WithExtension(parser.Value("output"), native ? ".zel" : ".wav");
  if (!ok) {
    zel::cli::PrintError("cannot write " + written);
    return zel::cli::kExitFailure;
  }
  JsonWriter json;
  json.BeginObject()
      .PathField("path", written)
      .Field("format", native ? "zel" : (pcm || !gsmAvailable) ? "pcm" : "gsm")
      .Field("clip", clip)
      .EndObject();
  std::printf("%s\n", json.Text().c_str());
  return zel::cli::kExitOk;
}

}  // namespace
