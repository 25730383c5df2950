#include "cli/InfoCommand.h"

#include <sys/stat.h>

#include <cmath>
#include <cstdio>
#include <optional>

#include "cli/CliSupport.h"
#include "cli/JsonWriter.h"
#include "audio/Loudness.h"
#include "recording/CKlRecordFile.h"
#include "recording/CKlRecordFileHdr.h"
#include "recording/FormatTag.h"

ZEL_REGISTER_COMMAND(InfoCommand);


namespace {

// One header as the JSON object of the command's output.
// Integrated loudness (LUFS) of the whole call; nothing when it has none or cannot be
// decoded.
std::optional<double> CallLoudness(const std::string& path, const std::string& passphrase) {
  CKlRecordFile recording;
  if (recording.LoadRecordingAndWait(path, passphrase) <= 0 || !recording.IsReady()) return std::nullopt;
  const int16_t* samples = nullptr;
  int count = recording.GetSamples(0, recording.SampleCount(), &samples);
  return count > 0 ? zel::MeasureLoudness(samples, static_cast<size_t>(count)) : std::nullopt;
}

void PrintHeader(const std::string& path, int result, const CKlRecordFileHdr& header,
                 std::optional<double> loudness) {
  int start = 0;
  int end = 0;
  bool hasBookmark = result > 0 && header.GetBookmark(start, end);
  JsonWriter json;
  json.BeginObject()
      .PathField("path", path)
      .Field("result", result)
      .Field("version", header.Version())
      .Field("headerSize", header.HeaderSize())
      .Field("formatTag", header.FormatTag())
      .Field("formatName", std::string(zel::FormatTagName(header.FormatTag())))
      .Field("important", header.Important())
      .Field("callerId", header.CallerIdUtf8())
      .Field("comment", header.CommentUtf8())
      .Field("startTime", header.StartTime())
      .Field("localStartTime", header.LocalStartTime())
      .Field("dateTime", header.FormatDateTime())
      .Field("duration", header.Duration())
      .Field("durationText", CKlRecordFileHdr::FormatHms(header.Duration()))
      .Field("userId", header.UserIdUtf8())
      .Field("siteCode", header.SiteCodeUtf8())
      .Field("auxCode", header.AuxCode())
      .Field("auxDuration", header.AuxDuration())
      .Field("auxDurationText", CKlRecordFileHdr::FormatHms(header.AuxDuration()))
      .Field("encrypted", header.IsEncrypted())
      .Key("loudness");
  if (loudness) {
    json.Double(std::round(*loudness * 10) / 10);
  } else {
    json.Null();
  }
  json.Key("bookmark");
  if (hasBookmark) {
    json.BeginObject().Field("start", start).Field("end", end).EndObject();
  } else {
    json.Null();
  }
  json.EndObject();
  std::printf("%s\n", json.Text().c_str());
}

}  // namespace

int InfoCommand::ExecuteWith(const ArgParser& parser, const std::string& passphrase) {
  int status = zel::cli::kExitOk;
  for (const std::string& path : parser.Positional()) {
    CKlRecordFileHdr header;
    int result = header.LoadHeader(path, passphrase);
    if (result > 0) zel::cli::AuditDecrypt(path, header.IsEncrypted());
    if (result <= 0) {
      status = zel::cli::kExitFailure;
      if (result == 0 && header.IsEncrypted()) {
        zel::cli::PrintError(path + ": cannot decrypt the recording with the passphrase given");
      } else if (result < 0) {
        zel::cli::PrintError(path + ": unknown recording version " + std::to_string(header.Version()));
      } else if (struct stat st {}; ::stat(path.c_str(), &st) == 0 && !S_ISREG(st.st_mode)) {
        zel::cli::PrintError(path + ": not a regular file");
      } else {
        zel::cli::PrintError(path + ": cannot read the recording");
      }
    }
    PrintHeader(path, result, header, result > 0 ? CallLoudness(path, passphrase) : std::nullopt);
  }
  return status;
}
