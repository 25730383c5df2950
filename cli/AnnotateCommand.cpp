#include "cli/AnnotateCommand.h"

#include <cstdio>
#include <optional>
#include <string>
#include <strings.h>

#include "cli/CliSupport.h"
#include "cli/JsonWriter.h"
#include "core/CSettings.h"
#include "recording/CKlRecordFile.h"

ZEL_REGISTER_COMMAND(AnnotateCommand, "annotate");

namespace {

// Seconds as a whole number or as [H:]MM:SS; nullopt for anything else.
std::optional<int> ParseSeconds(const std::string& text) {
  if (text.find(':') == std::string::npos) {
    auto value = ArgParser::ToInt(text);
    if (!value || *value < 0 || *value > 0x7FFFFFFFLL) return std::nullopt;
    return static_cast<int>(*value);
  }
  long long total = 0;
  size_t begin = 0;
  int parts = 0;
  while (begin <= text.size()) {
    size_t colon = text.find(':', begin);
    std::string part = text.substr(begin, colon == std::string::npos ? std::string::npos : colon - begin);
    auto value = ArgParser::ToInt(part);
    if (!value || *value < 0 || (parts > 0 && *value > 59) || ++parts > 3) return std::nullopt;
    total = total * 60 + *value;
    if (total > 0x7FFFFFFFLL) return std::nullopt;
    if (colon == std::string::npos) break;
    begin = colon + 1;
  }
  return static_cast<int>(total);
}

}  // namespace

int AnnotateCommand::Execute(const std::vector<std::string>& arguments) {
  ArgParser parser;
  parser.Option("caller").Option("comment").Option("important").Option("bookmark", 2);
  parser.Flag("clear-bookmark");
  zel::cli::AddPassphraseOptions(parser);
  if (!parser.Parse(arguments)) return zel::cli::UsageError(Name(), parser.Error(), Usage());
  if (parser.Positional().size() != 1) {
    return zel::cli::UsageError(Name(), "needs exactly one recording", Usage());
  }
  if (parser.Has("bookmark") && parser.Has("clear-bookmark")) {
    return zel::cli::UsageError(Name(), "--bookmark and --clear-bookmark exclude each other", Usage());
  }
  std::optional<uint32_t> important;
  if (parser.Has("important")) {
    std::string value = parser.Value("important");
    if (value != "0" && value != "1") {
      return zel::cli::UsageError(Name(), "--important takes 0 or 1", Usage());
    }
    important = value == "1" ? 1u : 0u;
  }
  std::optional<int> start, end;
  if (parser.Has("bookmark")) {
    std::vector<std::string> values = parser.Values("bookmark");
    start = ParseSeconds(values.at(0));
    end = ParseSeconds(values.at(1));
    if (!start || !end || *start >= *end) {
      return zel::cli::UsageError(Name(), "--bookmark needs START < END (seconds or H:MM:SS)", Usage());
    }
  }
  std::optional<std::string> passphrase = zel::cli::ResolvePassphrase(parser);
  if (!passphrase) return zel::cli::kExitUsage;

  const std::string& path = parser.Positional()[0];
  CKlRecordFile recording;
  if (recording.LoadRecording(path, *passphrase) == 0) {
    zel::cli::PrintError("cannot read recording " + path);
    return zel::cli::kExitFailure;
  }
  int oldStart = -1, oldEnd = -1;
  bool hadBookmark = recording.GetBookmark(oldStart, oldEnd);
  if (parser.Has("caller")) recording.SetCallerId(parser.Value("caller"));
  if (parser.Has("comment")) {
    recording.SetComment(parser.Value("comment"));
    // A new comment text keeps the bookmark unless the bookmark is changed too.
    if (hadBookmark && !start && !parser.Has("clear-bookmark")) recording.SetBookmark(oldStart, oldEnd);
  }
  if (important) recording.SetImportant(*important);
  if (start) recording.SetBookmark(*start, *end);
  if (parser.Has("clear-bookmark")) recording.SetBookmark(-1, -1);
  if (!recording.SaveIfDirty()) {
    bool zel = path.size() >= 4 && ::strcasecmp(path.c_str() + path.size() - 4, ".zel") == 0;
    zel::cli::PrintError("cannot write the header of " + path +
                         (zel ? "" : ": only .zel files have a header to annotate"));
    return zel::cli::kExitFailure;
  }

  int bookmarkStart = -1, bookmarkEnd = -1;
  bool bookmark = recording.GetBookmark(bookmarkStart, bookmarkEnd);
  JsonWriter json;
  json.BeginObject()
      .Field("path", path)
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
  return zel::cli::kExitOk;
}
