#include "cli/CatalogueCommand.h"

#include <cstdio>

#include "cli/CliSupport.h"
#include "cli/JsonWriter.h"
#include "organiser/CRecordingCatalogue.h"

ZEL_REGISTER_COMMAND(CatalogueCommand);

namespace {

void PrintStatus(const CRecordingCatalogue::Status& status, bool json) {
  const long long perRecording = status.recordings > 0 ? status.bytes / status.recordings : 0;
  if (json) {
    JsonWriter writer;
    writer.BeginObject().PathField("file", status.file).Field("bytes", static_cast<int64_t>(status.bytes));
    writer.Field("folders", static_cast<int64_t>(status.folders));
    writer.Field("recordings", static_cast<int64_t>(status.recordings));
    writer.Field("bytes_per_recording", static_cast<int64_t>(perRecording));
    writer.Key("roots").BeginArray();
    for (const auto& root : status.roots) {
      writer.BeginObject().PathField("folder", root.path).Field("missing", root.missing);
      writer.Field("refreshed", static_cast<int64_t>(root.refreshed)).EndObject();
    }
    writer.EndArray().EndObject();
    std::printf("%s\n", writer.Text().c_str());
    return;
  }
  std::printf("catalogue: %s\n", zel::cli::Visible(status.file).c_str());
  std::printf("size: %lld bytes, %lld per recording\n", status.bytes, perRecording);
  std::printf("folders: %lld\nrecordings: %lld\n", status.folders, status.recordings);
  for (const auto& root : status.roots) {
    std::printf("%s%s\n", zel::cli::Visible(root.path).c_str(), root.missing ? "  (missing: kept, masked)" : "");
  }
}

}  // namespace

int CatalogueCommand::Validate(const ArgParser& parser) {
  const auto& words = parser.Positional();
  if (words[0] == "status" && words.size() == 1) return zel::cli::kExitOk;
  if (words[0] == "refresh") return zel::cli::kExitOk;
  if (words[0] == "forget" && words.size() == 2) return zel::cli::kExitOk;
  return UsageError("needs status, refresh [FOLDER] or forget FOLDER");
}

int CatalogueCommand::Execute(const ArgParser& parser) {
  using namespace zel::cli;
  StartCore();
  const auto& words = parser.Positional();
  CRecordingCatalogue catalogue;
  if (!catalogue.Open()) {
    PrintError("cannot open the catalogue " + Visible(catalogue.File()));
    return kExitFailure;
  }
  if (words[0] == "forget") {
    if (!catalogue.Forget(words[1])) {
      PrintError(Visible(words[1]) + " is not in the catalogue");
      return kExitFailure;
    }
  } else if (words[0] == "refresh") {
    // Without a folder: every folder searched before that is there now.
    if (!(words.size() == 2 ? catalogue.Refresh(words[1], true) : catalogue.RefreshAll())) {
      PrintError("cannot refresh " + (words.size() == 2 ? Visible(words[1]) : std::string("the catalogue")));
      return kExitFailure;
    }
  }
  PrintStatus(catalogue.GetStatus(), parser.Has("json"));
  return kExitOk;
}
