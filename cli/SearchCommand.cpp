#include "cli/SearchCommand.h"

#include <cstdio>
#include <ctime>
#include <optional>

#include "Archive/ArchiveTypes.h"
#include "cli/CliSupport.h"
#include "core/Singleton.h"
#include "cli/EntryJson.h"
#include "cli/JsonWriter.h"
#include "organiser/CSearchManager.h"
#include "organiser/CZelVelomarDoc.h"
#include "organiser/DateMode.h"
#include "organiser/ListColumn.h"
#include "recording/CKlFileListEntry.h"

ZEL_REGISTER_COMMAND(SearchCommand);

namespace zel::cli {

namespace {

std::string Hms(long long seconds) {
  if (seconds < 0) seconds = 0;
  char text[48];
  std::snprintf(text, sizeof text, "%02lld:%02lld:%02lld", seconds / 3600, (seconds / 60) % 60, seconds % 60);
  return text;
}

// Pads or cuts `text` to `width` display columns (UTF-8 aware, one column per character).
std::string Cell(const std::string& text, size_t width) {
  std::string out;
  size_t columns = 0;
  for (size_t i = 0; i < text.size();) {
    unsigned char c = static_cast<unsigned char>(text[i]);
    size_t length = c < 0x80 ? 1 : (c >> 5) == 6 ? 2 : (c >> 4) == 14 ? 3 : (c >> 3) == 30 ? 4 : 1;
    if (columns == width) break;
    out.append(text, i, length);
    i += length;
    ++columns;
  }
  out.append(width - columns, ' ');
  return out;
}

// The Archived column: the archive kind of the recording's last archive run.
const char* ArchiveKindText(int kind) {
  const auto* row = zel::TextOf(static_cast<zel::ArchiveType>(kind));
  return row != nullptr ? row->ReportName : "";
}

}  // namespace

void PrintEntryList(const CZelVelomarDoc& document, bool json, const SearchSummary& search) {
  if (json) {
    for (size_t i = 0; i < document.EntryCount(); ++i) {
      JsonWriter writer;
      EntryToJson(*document.EntryAt(i), writer);
      std::printf("%s\n", writer.Text().c_str());
    }
    JsonWriter writer;
    writer.BeginObject().Key("summary").BeginObject();
    writer.Field("calls", static_cast<int>(document.EntryCount()));
    writer.Field("important", document.ImportantCount());
    writer.Field("duration", Hms(document.TotalSeconds()));
    if (search.present) {
      writer.Field("failed", search.failed);
      writer.Field("total", search.total);
      writer.Field("processed", search.processed);
      if (search.masked > 0) writer.Field("masked", search.masked);
    }
    writer.EndObject().EndObject();
    std::printf("%s\n", writer.Text().c_str());
    return;
  }
  // The list's own headers, each in its column's width; the comment takes the rest.
  static const size_t kWidths[zel::kListColumnCount - 1] = {3, 1, 16, 20, 8, 20, 8, 2};
  std::string header;
  for (int i = 0; i + 1 < zel::kListColumnCount; ++i) header += Cell(zel::kListColumns[i].header, kWidths[i]) + " ";
  std::printf("%s%s\n", header.c_str(), zel::kListColumns[zel::kListColumnCount - 1].header);
  for (size_t i = 0; i < document.EntryCount(); ++i) {
    const CKlFileListEntry& e = *document.EntryAt(i);
    int kind = CZelVelomarDoc::ArchiveKind(e);
    std::string line = Cell(e.Encrypted() ? "ENC" : "", 3) + " " + Cell(e.Important() ? "!" : "", 1) + " " +
                       Cell(Visible(std::string(e.UserIdText())), 16) + " " + Cell(Visible(std::string(e.CallerIdText())), 20) + " " +
                       Cell(ArchiveKindText(kind), 8) + " " + Cell(std::string(e.DateTimeText()), 20) + " " +
                       Cell(e.DurationText(), 8) + " " + Cell(e.HasBookmark() ? "BM" : "", 2) + " " +
                       Visible(CZelVelomarDoc::CommentColumnText(e.CommentText()));
    while (!line.empty() && line.back() == ' ') line.pop_back();
    std::printf("%s\n", line.c_str());
  }
  std::printf("%s   %s   %s\n", document.CallsText().c_str(), document.ImportantText().c_str(),
              document.DurationText().c_str());
}

}  // namespace zel::cli

namespace {

// "YYYY-MM-DD" at the given local time of day, through mktime.
std::optional<long long> LocalTime(const std::string& date, int hour, int minute, int second) {
  int y, m, d;
  char rest;
  if (std::sscanf(date.c_str(), "%4d-%2d-%2d%c", &y, &m, &d, &rest) != 3) return std::nullopt;
  if (m < 1 || m > 12 || d < 1 || d > 31 || y < 1900) return std::nullopt;
  struct tm local {};
  local.tm_year = y - 1900;
  local.tm_mon = m - 1;
  local.tm_mday = d;
  local.tm_hour = hour;
  local.tm_min = minute;
  local.tm_sec = second;
  local.tm_isdst = -1;
  time_t t = mktime(&local);
  if (t == static_cast<time_t>(-1) || local.tm_mday != d) return std::nullopt;
  return static_cast<long long>(t);
}

// A column by its number or by its name.
std::optional<zel::ListColumn> SortColumn(const std::string& text) {
  if (auto number = ArgParser::ToInt(text)) {
    if (*number < 0 || *number >= zel::kListColumnCount) return std::nullopt;
    return zel::ListColumnFromNumber(static_cast<int>(*number));
  }
  return zel::ListColumnFromName(text);
}

}  // namespace

std::vector<OptionSpec> SearchCommand::RecordingOptions() const {
  return {{"subfolders", 0}, {"ascending", 0}, {"json", 0}, {"name"},  {"caller"}, {"comment"},
          {"dates"},         {"from"},         {"to"},      {"min-minutes"}, {"sort"}, {"save"},
          {"no-catalogue", 0}};
}

int SearchCommand::Validate(const ArgParser& parser) {
  criteria_ = SearchCriteria();
  criteria_.folders = parser.Positional();
  criteria_.includeSubfolders = parser.Has("subfolders") ? 1 : 0;
  criteria_.nameMask = parser.Value("name", "*");
  criteria_.callerIdMask = parser.Value("caller", "*");
  criteria_.commentMask = parser.Value("comment", "*");
  if (int status = ValidateDates(parser); status != zel::cli::kExitOk) return status;
  if (parser.Has("min-minutes")) {
    auto minutes = ArgParser::ToInt(parser.Value("min-minutes"));
    if (!minutes || *minutes < 0 || *minutes > 300) return UsageError("--min-minutes must be 0..300");
    criteria_.limitByLength = 1;
    criteria_.minMinutes = static_cast<int>(*minutes);
  }
  column_ = static_cast<int>(zel::ListColumn::DateTime);
  if (parser.Has("sort")) {
    auto parsed = SortColumn(parser.Value("sort"));
    if (!parsed) return UsageError("unknown sort column " + parser.Value("sort"));
    column_ = static_cast<int>(*parsed);
  }
  return zel::cli::kExitOk;
}

int SearchCommand::ValidateDates(const ArgParser& parser) {
  const bool hasRange = parser.Has("from") || parser.Has("to");
  std::string dates = parser.Value("dates", hasRange ? "range" : "30days");
  std::optional<zel::DateMode> mode = zel::DateModeFromName(dates);
  if (!mode) return UsageError("unknown --dates value " + dates);
  criteria_.dateMode = static_cast<int>(*mode);
  if (*mode != zel::DateMode::Range) return hasRange ? UsageError("--from and --to need --dates range") : zel::cli::kExitOk;
  if (!parser.Has("from") || !parser.Has("to")) return UsageError("--dates range needs --from and --to");
  auto from = LocalTime(parser.Value("from"), 0, 0, 0);
  auto to = LocalTime(parser.Value("to"), 23, 59, 59);
  if (!from || !to) return UsageError("dates must be YYYY-MM-DD");
  criteria_.rangeStart = static_cast<int>(*from);
  criteria_.rangeEnd = static_cast<int>(*to);
  return zel::cli::kExitOk;
}

int SearchCommand::ExecuteWith(const ArgParser& parser, const std::string& passphrase) {
  using namespace zel::cli;
  LoadArchiveHistory();
  auto& manager = Singleton<CSearchManager>::Instance();
  manager->SetUseCatalogue(!parser.Has("no-catalogue"));
  manager->PrepareSearch(criteria_, column_, parser.Has("ascending") ? 0 : 1);
  for (const std::string& folder : manager->MaskedFolders()) {
    std::fprintf(stderr, "zelctl search: %s is missing; its recordings stay in the catalogue until it is back\n",
                 Visible(folder).c_str());
  }
  manager->SetPassphrase(passphrase);
  // The walk's limits are said, so that a short list is not taken for all there is.
  const zel::WalkLimits& limits = manager->Limits();
  if (limits.linkedFolders > 0) {
    std::fprintf(stderr, "zelctl search: %d linked folder(s) not searched: symbolic links to folders are not followed\n",
                 limits.linkedFolders);
  }
  if (limits.tooDeep > 0) {
    std::fprintf(stderr, "zelctl search: %d folder(s) deeper than %d levels not searched\n", limits.tooDeep,
                 zel::kMaxSearchDepth);
  }
  SearchStatus status;
  manager->GetStatus(status);
  if (status.failed || status.total == 0) {
    std::fprintf(stderr, "No recordings found which match your specified criteria.\n");
    return kExitFailure;
  }
  manager->StartSearch();
  WaitForSearch(*manager);

  CZelVelomarDoc document;
  manager->TakeResults(&document);
  manager->GetStatus(status);
  if (criteria_.folders.size() == 1) {
    document.SetListKind(CZelVelomarDoc::kFolderList, criteria_.folders[0]);
  } else {
    document.SetListKind(CZelVelomarDoc::kCustomList, "");
  }
  document.SetBuiltBySearch(true);
  if (parser.Has("save") && !document.SaveList(parser.Value("save"))) {
    PrintError("cannot write " + parser.Value("save"));
    return kExitFailure;
  }
  SearchSummary summary;
  summary.present = true;
  summary.failed = status.failed != 0;
  summary.total = status.total;
  summary.processed = status.processed;
  summary.masked = status.masked;
  PrintEntryList(document, parser.Has("json"), summary);
  return kExitOk;
}

void SearchCommand::WaitForSearch(CSearchManager& manager) {
  const bool progress = zel::cli::StderrIsTerminal();
  SearchStatus status;
  while (!manager.WaitUntilStopped(progress ? 1000 : -1)) {
    manager.GetStatus(status);
    std::fprintf(stderr, "\rReading %d of %d recordings found.", status.processed, status.total);
  }
  if (progress) std::fprintf(stderr, "\r\033[K");
}
