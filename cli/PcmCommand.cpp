#include "cli/PcmCommand.h"

#include <cstdio>
#include <string>

#include "audio/WavExport.h"
#include "cli/CliSupport.h"
#include "core/WriteTarget.h"
#include "recording/CKlRecordFile.h"

ZEL_REGISTER_COMMAND(PcmCommand, "pcm");

int PcmCommand::Execute(const std::vector<std::string>& arguments) {
  ArgParser parser;
  std::string passphrase;
  int status = zel::cli::ParseRecordingAndOutput(Name(), Usage(), "OUT", arguments, parser,
                                                  passphrase);
  if (status != zel::cli::kExitOk) return status;

  const std::string& path = parser.Positional()[0];
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
