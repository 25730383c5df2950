#include "cli/CliSupport.h"

#include "Archive/CArchiveJobBuilder.h"
#include "core/AuditTrail.h"

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

std::vector<OptionSpec> PassphraseOptions() { return {{"passphrase"}, {"passphrase-file"}}; }

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

std::string Visible(const std::string& text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    auto c = static_cast<unsigned char>(text[i]);
    // C1 controls arrive UTF-8 encoded as C2 80..C2 9F.
    bool c1 = c == 0xc2 && i + 1 < text.size() && (static_cast<unsigned char>(text[i + 1]) & 0xe0) == 0x80;
    size_t bytes = c < 0x20 || c == 0x7f ? 1 : c1 ? 2 : 0;
    if (bytes == 0) out += text[i];
    for (size_t k = 0; k < bytes; ++k) {
      char hex[8];
      std::snprintf(hex, sizeof hex, "\\x%02x", static_cast<unsigned char>(text[i + k]));
      out += hex;
    }
    if (bytes == 2) ++i;
  }
  return out;
}

int UsageError(const std::string& command, const std::string& message, const char* usage) {
  std::fprintf(stderr, "zelctl %s: %s\nusage: zelctl %s %s\n", command.c_str(), Visible(message).c_str(),
               command.c_str(), usage);
  return kExitUsage;
}

void PrintError(const std::string& message) {
  std::fprintf(stderr, "zelctl: %s\n", Visible(message).c_str());
}

bool StderrIsTerminal() { return ::isatty(STDERR_FILENO) != 0; }

void Audit(const std::string& action, const std::string& path, const std::string& detail, const std::string& caller,
           const std::string& before, const std::string& after) {
  if (!zel::AuditTrail::Record(action, CArchiveJobBuilder::AbsolutePath(path), detail, caller, before, after)) {
    std::fprintf(stderr, "zelctl: warning: the audit trail cannot be written (see the program log)\n");
  }
}

void AuditDecrypt(const std::string& path, bool encrypted) {
  if (encrypted) Audit("decrypt", path, "passphrase");
}

}  // namespace zel::cli
