#include "cli/PlayCommand.h"

#include <unistd.h>

#include <climits>
#include <cstdio>
#include <cstdlib>

#include "cli/CliSupport.h"

ZEL_REGISTER_COMMAND(PlayCommand);

#ifdef ZEL_HAVE_PLAY_HELPER
namespace {

// The helper beside this program, else the installed one; "" when neither exists.
std::string HelperPath() {
  char self[PATH_MAX];
  ssize_t length = ::readlink("/proc/self/exe", self, sizeof self - 1);
  if (length > 0) {
    std::string path(self, static_cast<size_t>(length));
    path = path.substr(0, path.rfind('/') + 1) + "zelctl-play";
    if (::access(path.c_str(), X_OK) == 0) return path;
  }
#ifdef ZEL_LIBEXECDIR
  std::string installed = ZEL_LIBEXECDIR "/zelctl-play";
  if (::access(installed.c_str(), X_OK) == 0) return installed;
#endif
  return "";
}

}  // namespace
#endif

std::vector<OptionSpec> PlayCommand::RecordingOptions() const {
  return {{"speed", 1}, {"skip-silence", 0}, {"normalise", 0}};
}

std::optional<CPlaybackChain::Options> PlayCommand::PlaybackOptionsFrom(const ArgParser& args) {
  CPlaybackChain::Options options;
  if (args.Has("speed")) {
    const std::string text = args.Value("speed");
    char* end = nullptr;
    const double speed = std::strtod(text.c_str(), &end);
    if (text.empty() || *end != '\0' || !(speed >= 0.5 - 1e-9 && speed <= 2.0 + 1e-9)) return std::nullopt;
    options.speed = CTimeStretch::SnapTempo(speed);
  }
  options.skipSilence = args.Has("skip-silence");
  options.normalise = args.Has("normalise");
  return options;
}

int PlayCommand::Validate(const ArgParser& args) {
  if (!PlaybackOptionsFrom(args)) {
    return zel::cli::UsageError(Name(), "--speed expects a number from 0.5 to 2.0", Usage());
  }
  return 0;
}

// The passphrase has been checked here (an unreadable file fails before any sound
// library is loaded); the helper resolves it again from the same arguments.
int PlayCommand::ExecuteWith([[maybe_unused]] const ArgParser& args, const std::string&) {
#ifndef ZEL_HAVE_PLAY_HELPER
  zel::cli::PrintError("play needs sound output, and this zelctl was built without Qt Multimedia");
  return zel::cli::kExitFailure;
#else
  std::string helper = HelperPath();
  if (helper.empty()) {
    zel::cli::PrintError("play needs the sound output helper zelctl-play, which is not installed");
    return zel::cli::kExitFailure;
  }
  std::vector<char*> argv{helper.data()};
  for (const std::string& argument : RawArguments()) argv.push_back(const_cast<char*>(argument.c_str()));
  argv.push_back(nullptr);
  for (const std::string& path : args.Positional()) zel::cli::Audit("play", path);
  std::fflush(nullptr);
  ::execv(helper.c_str(), argv.data());
  zel::cli::PrintError("cannot start " + helper);
  return zel::cli::kExitFailure;
#endif
}
