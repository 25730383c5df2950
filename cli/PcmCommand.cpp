#include "cli/PcmCommand.h"

#include <cstdio>
#include <string>

#include "audio/WavExport.h"
#include "cli/CliSupport.h"
#include "core/WriteTarget.h"
#include "recording/CKlRecordFile.h"

ZEL_REGISTER_COMMAND(PcmCommand);

int PcmCommand::ExecuteWith(const ArgParser& parser, const std::string& passphrase) {
  const std::string& path = parser.Positional()[0];
  if (int status = RefuseSource(path, parser.Value("output")); status != zel::cli::kExitOk) return status;
  CKlRecordFile recording;
  if (recording.LoadRecordingAndWait(path, passphrase) == 0) {
    zel::cli::PrintError("cannot read recording " + path);
    return zel::cli::kExitFailure;
  }
  recording.WaitForDecoding(-1);
  const std::string output = parser.Value("output");
  if (!zel::WritePcmFile(output, recording)) {
    zel::cli::PrintError(zel::LastWriteError());
    return zel::cli::kExitFailure;
  }
  std::printf("%d\n", recording.SampleCount());
  return zel::cli::kExitOk;
}
