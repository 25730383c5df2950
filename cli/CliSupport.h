#pragma once
#include <optional>
#include <string>
#include <vector>

#include "cli/ArgParser.h"

// What every zelctl command shares: start-up of the core as the application does
// it, the passphrase options, and the exit statuses.
namespace zel::cli {

constexpr int kExitOk = 0;
constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;

// Sets the identity strings and loads the settings, as start-up does. Idempotent.
void StartCore();

// Loads the archive history once, so that lists can show which recordings were archived.
void LoadArchiveHistory();

// Declares --passphrase P and --passphrase-file F on `parser`.
void AddPassphraseOptions(ArgParser& parser);
// The passphrase from the options, else the remembered one of the settings.
// nullopt (with a message on stderr) when the passphrase file cannot be read.
std::optional<std::string> ResolvePassphrase(const ArgParser& parser);

// For commands that read one recording and write "-o OUT": declares -o/--output and
// the passphrase options on `parser`, parses `arguments`, checks that there is one
// recording and an output, and resolves the passphrase. Returns kExitOk, or the exit
// status of the usage error it has already reported.
int ParseRecordingAndOutput(const std::string& command, const char* usage, const char* outputHint,
                            const std::vector<std::string>& arguments, ArgParser& parser,
                            std::string& passphrase);

// Prints "zelctl <command>: <message>" to stderr and returns kExitUsage.
int UsageError(const std::string& command, const std::string& message, const char* usage);
// Prints "zelctl: <message>" to stderr.
void PrintError(const std::string& message);
// True when standard error is a terminal (progress lines are shown only then).
bool StderrIsTerminal();

}  // namespace zel::cli
