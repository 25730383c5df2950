#include "cli/AnnotateCommand.h"

#include <strings.h>

#include <cstdio>
#include <string>

#include "audio/CRecordingEdits.h"
#include "cli/CliSupport.h"
#include "core/AuditTrail.h"
#include "cli/JsonWriter.h"
#include "core/CSettings.h"
#include "core/Cp1252.h"
#include "recording/CKlRecordFile.h"

ZEL_REGISTER_COMMAND(AnnotateCommand);

namespace {

// The header holds seconds in a signed 32-bit field.
constexpr long long kMaxSeconds = 0x7FFFFFFFLL;

// Seconds as a whole number or as [H:]MM:SS; nullopt for anything else. Values past
// kMaxSeconds come back as kMaxSeconds + 1, so that the caller can say "too large".
std::optional<long long> ParseSeconds(const std::string& text) {
  if (text.find(':') == std::string::npos) {
    auto value = ArgParser::ToInt(text);
    if (!value && !text.empty() && text.find_first_not_of("0123456789") == std::string::npos) {
      return kMaxSeconds + 1;  // digits only, beyond what strtoll holds
    }
    if (!value || *value < 0) return std::nullopt;
    return std::min(*value, kMaxSeconds + 1);
  }
  long long total = 0;
  size_t begin = 0;
  int parts = 0;
  while (begin <= text.size()) {
    size_t colon = text.find(':', begin);
    std::string part = text.substr(begin, colon == std::string::npos ? std::string::npos : colon - begin);
    auto value = ArgParser::ToInt(part);
    if (!value || *value < 0 || (parts > 0 && *value > 59) || ++parts > 3) return std::nullopt;
    total = std::min(total * 60 + std::min(*value, kMaxSeconds + 1), kMaxSeconds + 1);
    if (colon == std::string::npos) break;
    begin = colon + 1;
  }
  return total;
}

}  // namespace

std::vector<OptionSpec> AnnotateCommand::RecordingOptions() const {
  return {{"caller"}, {"comment"}, {"important"}, {"bookmark", 2}, {"clear-bookmark", 0}};
}

int AnnotateCommand::Validate(const ArgParser& args) {
  important_.reset();
  start_.reset();
  end_.reset();
  if (args.Has("bookmark") && args.Has("clear-bookmark")) {
    return UsageError("--bookmark and --clear-bookmark exclude each other");
  }
  if (args.Has("important")) {
    std::string value = args.Value("important");
    if (value != "0" && value != "1") return UsageError("--important takes 0 or 1");
    important_ = value == "1" ? 1u : 0u;
  }
  if (!args.Has("bookmark")) return zel::cli::kExitOk;
  std::vector<std::string> values = args.Values("bookmark");
  std::optional<long long> start = ParseSeconds(values.at(0));
  std::optional<long long> end = ParseSeconds(values.at(1));
  if (!start || !end) return UsageError("--bookmark takes START and END as seconds or H:MM:SS");
  for (size_t i = 0; i < 2; ++i) {
    if ((i == 0 ? *start : *end) > kMaxSeconds) {
      return UsageError("--bookmark " + std::string(i == 0 ? "START " : "END ") + values[i] +
                        " is too large (at most " + std::to_string(kMaxSeconds) + " seconds)");
    }
  }
  if (*start >= *end) return UsageError("--bookmark needs START < END (seconds or H:MM:SS)");
  start_ = static_cast<int>(*start);
  end_ = static_cast<int>(*end);
  return zel::cli::kExitOk;
}

int AnnotateCommand::ExecuteWith(const ArgParser& args, const std::string& passphrase) {
  const std::string& path = args.Positional()[0];
  CKlRecordFile recording;
  if (recording.LoadRecording(path, passphrase) == 0) {
    zel::cli::PrintError("cannot read recording " + path);
    return zel::cli::kExitFailure;
  }
  zel::cli::AuditDecrypt(path, recording.Header().IsEncrypted());
  const std::string before = zel::AuditTrail::Sha256OfFile(path);
  Apply(args, recording);
  if (!recording.SaveIfDirty()) {
    bool zel = path.size() >= 4 && ::strcasecmp(path.c_str() + path.size() - 4, ".zel") == 0;
    zel::cli::PrintError("cannot write the header of " + path +
                         (zel ? "" : ": only .zel files have a header to annotate"));
    return zel::cli::kExitFailure;
  }
  WarnOfChangedTexts(args);
  // Which fields changed, never their texts.
  std::string fields;
  for (const char* option : {"caller", "comment", "important", "bookmark", "clear-bookmark"}) {
    if (args.Has(option)) fields += std::string(fields.empty() ? "" : ", ") + option;
  }
  const std::string after = zel::AuditTrail::Sha256OfFile(path);
  zel::cli::Audit("annotate", path, fields, recording.Header().IsEncrypted() ? "" : recording.Header().CallerIdUtf8(),
                  before, after == before ? "" : after);
  PrintResult(path, recording);
  return zel::cli::kExitOk;
}

void AnnotateCommand::Apply(const ArgParser& args, CKlRecordFile& recording) const {
  if (args.Has("caller")) recording.SetCallerId(args.Value("caller"));
  if (args.Has("comment")) {
    // A new comment text keeps the bookmark unless the bookmark is changed too.
    const bool keep = !start_ && !args.Has("clear-bookmark");
    recording.SetComment(keep ? CRecordingEdits::CommentKeepingBookmark(recording.Header(), args.Value("comment"))
                              : args.Value("comment"));
  }
  if (important_) recording.SetImportant(*important_);
  if (start_) recording.SetBookmark(*start_, *end_);
  if (args.Has("clear-bookmark")) recording.SetBookmark(-1, -1);
}

void AnnotateCommand::WarnOfChangedTexts(const ArgParser& args) {
  // The header stores Windows-1252; what it cannot hold is stored as "?".
  for (const auto& [option, field] : {std::pair{"caller", "caller ID"}, std::pair{"comment", "comment"}}) {
    if (args.Has(option) && !zel::FitsCp1252(args.Value(option))) {
      std::fprintf(stderr, "zelctl annotate: the %s was changed to fit the header: characters outside "
                   "Windows-1252 were stored as \"?\"\n", field);
    }
  }
}

void AnnotateCommand::PrintResult(const std::string& path, const CKlRecordFile& recording) {
  int bookmarkStart = -1, bookmarkEnd = -1;
  bool bookmark = recording.GetBookmark(bookmarkStart, bookmarkEnd);
  JsonWriter json;
  json.BeginObject()
      .PathField("path", path)
      .Field("callerId", recording.GetCallerId())
      .Field("important", recording.Header().Important())
      .Key("bookmark");
  if (bookmark) {
    json.BeginObject().Field("start", bookmarkStart).Field("end", bookmarkEnd).EndObject();
  } else {
    json.Null();
  }
  // The comment as the user wrote it, without the bookmark line and trailer.
  CKlRecordFileHdr plain = recording.Header();
  plain.SetBookmark(-1, -1);
  json.Field("comment", zel::TrimBlanks(plain.CommentUtf8())).EndObject();
  std::printf("%s\n", json.Text().c_str());
}
