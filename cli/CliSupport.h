#pragma once
#include <optional>
#include <string>
#include <vector>

#include "cli/ArgParser.h"

// What every zelctl command shares: start-up of the core as the application does
// it, the passphrase options, and the exit statuses.
namespace zel::cli {

constexpr int kExitOk = 0;
constexpr int kExitFailure = 1;  // a file cannot be read or written, or the work failed
constexpr int kExitUsage = 2;    // wrong usage: unknown option, missing or bad argument

// Sets the identity strings and loads the settings, as start-up does. Idempotent.
void StartCore();

// Loads the archive history once, so that lists can show which recordings were archived.
void LoadArchiveHistory();

// --passphrase P and --passphrase-file F.
std::vector<OptionSpec> PassphraseOptions();
// The passphrase from the options, else the remembered one of the settings.
// nullopt (with a message on stderr) when the passphrase file cannot be read.
std::optional<std::string> ResolvePassphrase(const ArgParser& parser);

// `text` with every control character (C0, DEL and C1) shown as "\xNN", so that
// a caller, comment or file name cannot steer the terminal it is printed on.
std::string Visible(const std::string& text);

// Adds a line to the audit trail for `action` on the call at `path` (made
// absolute); SHA-256 texts of the file before and after when it changed.
void Audit(const std::string& action, const std::string& path, const std::string& detail = "",
           const std::string& caller = "", const std::string& before = "", const std::string& after = "");

// Adds a "decrypt" line for a call whose header `encrypted` was opened with the
// passphrase, as the windows do when they load one.
void AuditDecrypt(const std::string& path, bool encrypted);

// Prints "zelctl <command>: <message>" to stderr and returns kExitUsage.
int UsageError(const std::string& command, const std::string& message, const char* usage);
// Prints "zelctl: <message>" to stderr.
void PrintError(const std::string& message);
// True when standard error is a terminal (progress lines are shown only then).
bool StderrIsTerminal();

}  // namespace zel::cli
