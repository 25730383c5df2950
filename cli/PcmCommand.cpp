#include "cli/PcmCommand.h"

#include <cstdio>
#include <string>

#include "cli/CliSupport.h"
#include "core/AtomicFile.h"
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
  const int16_t* samples = nullptr;
  int count = recording.GetSamples(0, recording.SampleCount(), &samples);
  std::string bytes(static_cast<size_t>(count) * 2, '\0');
  for (int i = 0; i < count; ++i) {
    uint16_t value = static_cast<uint16_t>(samples[i]);
    bytes[2 * i] = static_cast<char>(value & 0xFF);
    bytes[2 * i + 1] = static_cast<char>(value >> 8);
  }
  const std::string output = parser.Value("output");
  if (!zel::WriteFileAtomically(output, bytes)) {
    zel::cli::PrintError("cannot write " + output);
    return zel::cli::kExitFailure;
  }
  std::printf("%d\n", count);
  return zel::cli::kExitOk;
}
