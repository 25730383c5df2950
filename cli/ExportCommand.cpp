#include "cli/ExportCommand.h"

#include <cstdio>
#include <memory>

#include "audio/ISaveFileChooser.h"
#include "audio/WavExport.h"
#include "cli/CliSupport.h"
#include "cli/JsonWriter.h"
#include "recording/CKlRecordFile.h"

ZEL_REGISTER_COMMAND(ExportCommand, "export");

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

int ExportCommand::Execute(const std::vector<std::string>& arguments) {
  ArgParser parser;
  parser.Option("output").Alias("-o", "--output").Flag("pcm").Flag("gsm").Flag("native").Flag("clip");
  zel::cli::AddPassphraseOptions(parser);
  if (!parser.Parse(arguments)) return zel::cli::UsageError(Name(), parser.Error(), Usage());
  if (parser.Positional().size() != 1) {
    return zel::cli::UsageError(Name(), "expects exactly one recording", Usage());
  }
  if (!parser.Has("output") || parser.Value("output").empty()) {
    return zel::cli::UsageError(Name(), "needs -o OUT", Usage());
  }
  bool pcm = parser.Has("pcm"), gsm = parser.Has("gsm"), native = parser.Has("native");
  if ((pcm && gsm) || (native && (pcm || gsm))) {
    return zel::cli::UsageError(Name(), "--pcm, --gsm and --native exclude each other", Usage());
  }
  zel::cli::StartCore();
  auto passphrase = zel::cli::ResolvePassphrase(parser);
  if (!passphrase) return zel::cli::kExitFailure;

  const std::string& path = parser.Positional()[0];
  CKlRecordFile file;
  if (file.LoadRecordingAndWait(path, *passphrase) != 1 || !file.IsReady()) {
    zel::cli::PrintError("cannot load recording " + path);
    return zel::cli::kExitFailure;
  }
  bool clip = parser.Has("clip");
  int start = 0, end = 0;
  if (clip && !file.GetBookmark(start, end)) {
    zel::cli::PrintError(path + " has no bookmark");
    return zel::cli::kExitFailure;
  }
  bool gsmAvailable = zel::GsmCodecAvailable();
  if (gsm && !gsmAvailable) {
    zel::cli::PrintError("the GSM 6.10 converter is not available");
    return zel::cli::kExitFailure;
  }
  // The dialog's filters: GSM first when it is available, else only uncompressed.
  int filterIndex = (pcm && gsmAvailable) ? 1 : 0;
  auto chooser = std::make_shared<FixedPathChooser>(parser.Value("output"), filterIndex);
  zel::SetSaveFileChooser(chooser);

  bool ok;
  if (native) {
    ok = clip ? zel::ExportNativeClip(file, *passphrase) : zel::ExportNative(file);
  } else {
    ok = clip ? zel::ExportWavClip(file, *passphrase) : zel::ExportWav(file);
  }
  zel::SetSaveFileChooser(nullptr);
  std::string written = zel::WithExtension(parser.Value("output"), native ? ".zel" : ".wav");
  if (!ok) {
    zel::cli::PrintError("cannot write " + written);
    return zel::cli::kExitFailure;
  }
  JsonWriter json;
  json.BeginObject()
      .Field("path", written)
      .Field("format", native ? "zel" : (pcm || !gsmAvailable) ? "pcm" : "gsm")
      .Field("clip", clip)
      .EndObject();
  std::printf("%s\n", json.Text().c_str());
  return zel::cli::kExitOk;
}
