#include "cli/ArchiveLogCommand.h"

#include <cstdio>
#include <ctime>

#include "Archive/CArchiveLogger.h"
#include "cli/CliSupport.h"
#include "cli/JsonWriter.h"

ZEL_REGISTER_COMMAND(ArchiveLogCommand);

namespace {

std::string EntryJson(const CJobArchListEntry& entry, int index) {
  JsonWriter json;
  json.BeginObject()
      .Field("index", index)
      .Field("id", entry.JobTime())
      .Field("dateTime", entry.DateTimeText())
      .PathField("target", entry.Target())
      .Field("archiveType", zel::ToInt(entry.ArchiveType()))
      .Field("archiver", CArchiveLogger::ArchiverName(entry.ArchiveType()))
      .Field("callCount", entry.CallCount())
      .Field("comment", entry.Comment())
      .Field("listLine", CArchiveLogger::GetListLine(entry))
      .Key("calls")
      .BeginArray();
  for (const auto& call : entry.Sources()) {
    json.BeginObject().Field("callId", call.StartTime()).PathField("path", call.Path()).EndObject();
  }
  json.EndArray().EndObject();
  return json.Text();
}

}  // namespace

int ArchiveLogCommand::Validate(const ArgParser& parser) {
  bool report = parser.Has("report");
  if (!report && (!parser.Positional().empty() || parser.Has("output"))) {
    return UsageError("IDs and -o go with --report");
  }
  if (report && parser.Positional().empty()) return UsageError("no ID given");
  return zel::cli::kExitOk;
}

int ArchiveLogCommand::Execute(const ArgParser& parser) {
  zel::cli::StartCore();
  CArchiveLogger& log = *Singleton<CArchiveLogger>::Instance();
  if (!log.IsLoaded()) log.Load(false);
  // What is left of a damaged log is shown; the set-aside makes the exit status 1.
  return parser.Has("report") ? Report(log, parser) : List(log, parser.Has("json"));
}

int ArchiveLogCommand::List(CArchiveLogger& log, bool json) {
  std::vector<CJobArchListEntry> entries = log.Entries();
  for (size_t i = 0; i < entries.size(); ++i) {
    if (json) {
      std::printf("%s\n", EntryJson(entries[i], static_cast<int>(i)).c_str());
    } else {
      std::printf("%d  %s\n", entries[i].JobTime(), zel::cli::Visible(CArchiveLogger::GetListLine(entries[i])).c_str());
    }
  }
  return zel::cli::kExitOk;
}

int ArchiveLogCommand::Report(CArchiveLogger& log, const ArgParser& parser) {
  std::vector<int> indices;
  for (const auto& text : parser.Positional()) {
    auto id = ArgParser::ToInt(text);
    int index = id ? log.IndexOfId(static_cast<int32_t>(*id)) : -1;
    if (!id || *id != static_cast<int32_t>(*id) || index < 0) {
      zel::cli::PrintError("no archive log entry with id " + text);
      return zel::cli::kExitFailure;
    }
    indices.push_back(index);
  }
  std::string path = parser.Has("output") ? parser.Value("output") : CArchiveLogger::ReportFileName(std::time(nullptr));
  std::string error;
  if (!log.WriteReportFile(indices, path, error)) {
    zel::cli::PrintError("cannot write " + path + ": " + error);
    return zel::cli::kExitFailure;
  }
  if (parser.Has("json")) {
    JsonWriter json;
    json.BeginObject().Field("report", path).Field("entries", static_cast<int>(indices.size())).EndObject();
    std::printf("%s\n", json.Text().c_str());
  } else {
    std::printf("%s\n", zel::cli::Visible(path).c_str());
  }
  return zel::cli::kExitOk;
}
