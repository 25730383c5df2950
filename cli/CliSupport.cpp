#include "cli/CliSupport.h"

#include <unistd.h>

#include <clocale>
#include <cstdio>

#include "Archive/CArchiveLogger.h"
#include "core/AppIdentity.h"
#include "core/AtomicFile.h"
#include "core/CSettings.h"
#include "core/Singleton.h"

namespace zel::cli {

void StartCore() {
  static bool started = false;
  if (started) return;
  started = true;
  // Dates and times follow the user's locale, as in the desktop program.
  std::setlocale(LC_ALL, "");
  std::setlocale(LC_NUMERIC, "C");
  ApplyStartupIdentity();
  Singleton<CSettings>::Instance()->Load();
}

void LoadArchiveHistory() {
  StartCore();
  auto logger = Singleton<CArchiveLogger>::Instance();
  if (!logger->IsLoaded()) logger->Load(false);
}

void AddPassphraseOptions(ArgParser& parser) {
  parser.Option("passphrase").Option("passphrase-file");
}

std::optional<std::string> ResolvePassphrase(const ArgParser& parser) {
  if (parser.Has("passphrase")) return TrimBlanks(parser.Value("passphrase"));
  if (parser.Has("passphrase-file")) {
    std::string content;
    if (!ReadWholeFile(parser.Value("passphrase-file"), content)) {
      PrintError("cannot read passphrase file " + parser.Value("passphrase-file"));
      return std::nullopt;
    }
    // The first line of the file, without its line end.
    size_t end = content.find_first_of("\r\n");
    if (end != std::string::npos) content.resize(end);
    return TrimBlanks(content);
  }
  StartCore();
  return Singleton<CSettings>::Instance()->GetPassphrase();
}

int ParseRecordingAndOutput(const std::string& command, const char* usage, const char* outputHint,
                            const std::vector<std::string>& arguments, ArgParser& parser,
                            std::string& passphrase) {
  parser.Option("output").Alias("-o", "--output");
  AddPassphraseOptions(parser);
  if (!parser.Parse(arguments)) return UsageError(command, parser.Error(), usage);
  if (parser.Positional().size() != 1) return UsageError(command, "needs exactly one recording", usage);
  if (!parser.Has("output") || parser.Value("output").empty()) {
    return UsageError(command, std::string("needs -o ") + outputHint, usage);
  }
  std::optional<std::string> resolved = ResolvePassphrase(parser);
  if (!resolved) return kExitUsage;
  passphrase = *resolved;
  return kExitOk;
}

int UsageError(const std::string& command, const std::string& message, const char* usage) {
  std::fprintf(stderr, "zelctl %s: %s\nusage: zelctl %s %s\n", command.c_str(), message.c_str(),
               command.c_str(), usage);
  return kExitUsage;
}

void PrintError(const std::string& message) {
  std::fprintf(stderr, "zelctl: %s\n", message.c_str());
}

bool StderrIsTerminal() { return ::isatty(STDERR_FILENO) != 0; }

}  // namespace zel::cli
