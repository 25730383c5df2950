#include "cli/play/SoundPlayCommand.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QSocketNotifier>
#include <QTimer>
#include <cstdio>

#include "audio/CPlaybackManager.h"
#include "audio/CPlayerState.h"
#include "cli/CliSupport.h"
#include "audio/qt/QtWaveOut.h"

namespace {

int g_signalPipe[2] = {-1, -1};

void OnStopSignal(int signal) {
  unsigned char value = static_cast<unsigned char>(signal);
  ssize_t ignored = ::write(g_signalPipe[1], &value, 1);
  (void)ignored;
}

// Ctrl+C and SIGTERM reach the event loop through a pipe, so the device is closed
// from the thread that owns it. The handlers are restored when this ends.
class StopSignals {
 public:
  bool Install() {
    if (::pipe2(g_signalPipe, O_CLOEXEC | O_NONBLOCK) != 0) return false;
    struct sigaction action {};
    action.sa_handler = OnStopSignal;
    sigemptyset(&action.sa_mask);
    ::sigaction(SIGINT, &action, &oldInt_);
    ::sigaction(SIGTERM, &action, &oldTerm_);
    installed_ = true;
    return true;
  }
  ~StopSignals() {
    if (!installed_) return;
    ::sigaction(SIGINT, &oldInt_, nullptr);
    ::sigaction(SIGTERM, &oldTerm_, nullptr);
    ::close(g_signalPipe[0]);
    ::close(g_signalPipe[1]);
  }

 private:
  bool installed_ = false;
  struct sigaction oldInt_ {};
  struct sigaction oldTerm_ {};
};

// Runs the event loop while the loaded recording plays; returns the exit status.
int PlayLoaded(QCoreApplication& app, CPlaybackManager& manager) {
  CPlayerState player(manager);
  const std::string durationText = player.DurationText();
  const bool terminal = zel::cli::StderrIsTerminal();
  std::string positionText;
  int exitCode = zel::cli::kExitOk;

  QSocketNotifier signalNotifier(g_signalPipe[0], QSocketNotifier::Read);
  QObject::connect(&signalNotifier, &QSocketNotifier::activated, [&] {
    unsigned char value = 0, last = SIGINT;
    while (::read(g_signalPipe[0], &value, 1) == 1) last = value;
    manager.PlayStop(false, true);
    exitCode = 128 + last;  // 130 for Ctrl+C, 143 for SIGTERM, as shells report them
    app.quit();
  });
  // The player panel's timer, which also stops at the end.
  QTimer timer;
  timer.setInterval(200);
  QObject::connect(&timer, &QTimer::timeout, [&] {
    player.Tick();
    positionText = player.LastPositionText();
    if (terminal) std::fprintf(stderr, "\r%s / %s", positionText.c_str(), durationText.c_str());
    if (!manager.IsPlaying()) app.quit();
  });
  timer.start();
  app.exec();
  timer.stop();
  // A terminal ends the progress line; elsewhere the last position is the only line.
  if (terminal) {
    std::fprintf(stderr, "\n");
  } else {
    std::fprintf(stderr, "%s / %s\n", positionText.c_str(), durationText.c_str());
  }
  return exitCode;
}

}  // namespace

int SoundPlayCommand::ExecuteWith(const ArgParser& parser, const std::string& passphrase) {
  static int argc = 1;
  static char name[] = "zelctl";
  static char* argv[] = {name, nullptr};
  QCoreApplication app(argc, argv);
  StopSignals stopSignals;
  if (!stopSignals.Install()) {
    zel::cli::PrintError("cannot set up signal handling");
    return zel::cli::kExitFailure;
  }
  QtWaveNotifyReceiver receiver;
  auto& manager = Singleton<CPlaybackManager>::Instance();
  manager->SetWaveOutFactory(QtWaveOut::Factory());
  manager->SetFrameWindow(&receiver);

  int exitCode = zel::cli::kExitOk;
  const std::string& path = parser.Positional()[0];
  manager->AuditAccess = false;  // zelctl play wrote its line before it came here
  if (!manager->Load(path, passphrase)) {
    zel::cli::PrintError("cannot load recording " + path);
    exitCode = zel::cli::kExitFailure;
  } else if (manager->SetPlaybackOptions(PlaybackOptionsFrom(parser).value_or(CPlaybackChain::Options{})),
             manager->PlayStop(true, false), !manager->IsPlaying()) {
    exitCode = zel::cli::kExitFailure;  // the device message has been shown
  } else {
    exitCode = PlayLoaded(app, *manager);
  }
  manager->Close();
  manager->SetFrameWindow(nullptr);
  manager->SetWaveOutFactory(nullptr);
  return exitCode;
}
