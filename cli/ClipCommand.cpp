#include "cli/ClipCommand.h"

#include <cstdio>
#include <string>

#include "cli/CliSupport.h"
#include "cli/JsonWriter.h"
#include "core/WriteTarget.h"
#include "recording/CBookmarkRecordFile.h"

ZEL_REGISTER_COMMAND(ClipCommand);

int ClipCommand::ExecuteWith(const ArgParser& parser, const std::string& passphrase) {
  const std::string& path = parser.Positional()[0];
  // A clip is a recording: without ".zel" the reader would take it for raw audio.
  const std::string output = zel::NativeFileName(parser.Value("output"));
  if (int status = RefuseSource(path, output); status != zel::cli::kExitOk) return status;
  CKlRecordFile source;
  // The header alone tells whether there is a bookmark; the clip decodes the audio.
  if (source.LoadRecording(path, passphrase) == 0) {
    zel::cli::PrintError("cannot read recording " + path);
    return zel::cli::kExitFailure;
  }
  zel::cli::AuditDecrypt(path, source.Header().IsEncrypted());
  int start = 0, end = 0;
  if (!source.GetBookmark(start, end)) {
    zel::cli::PrintError(path + " has no bookmark");
    return zel::cli::kExitFailure;
  }
  CBookmarkRecordFile clip(source, passphrase);
  if (!clip.HasFile() || !clip.CropToBookmark() || !clip.WriteClip(output)) {
    zel::cli::PrintError("cannot write the clip " + output + ": " + zel::LastWriteError());
    return zel::cli::kExitFailure;
  }
  zel::cli::Audit("export", path, "clip to " + output,
                  source.Header().IsEncrypted() ? "" : source.Header().CallerIdUtf8());
  JsonWriter json;
  json.BeginObject()
      .PathField("path", output)
      .Field("start", start)
      .Field("end", end)
      .Field("samples", clip.SampleCount())
      .Field("duration", clip.Header().Duration())
      .Field("encrypted", clip.Header().IsEncrypted())
      .EndObject();
  std::printf("%s\n", json.Text().c_str());
  return zel::cli::kExitOk;
}
