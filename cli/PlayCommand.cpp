#include "cli/PlayCommand.h"

#include <cstdio>

#include "cli/CliSupport.h"

ZEL_REGISTER_COMMAND(PlayCommand, "play");

#ifndef ZEL_HAVE_QT_AUDIO

int PlayCommand::Execute(const std::vector<std::string>&) {
  zel::cli::PrintError("play needs sound output, and this zelctl was built without Qt Multimedia");
  return zel::cli::kExitFailure;
}

#else

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QSocketNotifier>
#include <QTimer>

#include "audio/CPlaybackManager.h"
#include "audio/CPlayerState.h"
#include "platform/qt/QtWaveOut.h"

namespace {

int g_signalPipe[2] = {-1, -1};

void OnStopSignal(int signal) {
  unsigned char value = static_cast<unsigned char>(signal);
  ssize_t ignored = ::write(g_signalPipe[1], &value, 1);
  (void)ignored;
}

}  // namespace

int PlayCommand::Execute(const std::vector<std::string>& arguments) {
  ArgParser parser;
  zel::cli::AddPassphraseOptions(parser);
  if (!parser.Parse(arguments)) return zel::cli::UsageError(Name(), parser.Error(), Usage());
  if (parser.Positional().size() != 1) {
    return zel::cli::UsageError(Name(), "expects exactly one recording", Usage());
  }
  zel::cli::StartCore();
  auto passphrase = zel::cli::ResolvePassphrase(parser);
  if (!passphrase) return zel::cli::kExitFailure;

  static int argc = 1;
  static char name[] = "zelctl";
  static char* argv[] = {name, nullptr};
  QCoreApplication app(argc, argv);

  // Ctrl+C and SIGTERM reach the event loop through a pipe, so the device is closed
  // from the thread that owns it.
  if (::pipe2(g_signalPipe, O_CLOEXEC | O_NONBLOCK) != 0) {
    zel::cli::PrintError("cannot set up signal handling");
    return zel::cli::kExitFailure;
  }
  struct sigaction action {};
  action.sa_handler = OnStopSignal;
  sigemptyset(&action.sa_mask);
  struct sigaction oldInt {}, oldTerm {};
  ::sigaction(SIGINT, &action, &oldInt);
  ::sigaction(SIGTERM, &action, &oldTerm);

  QtWaveNotifyReceiver receiver;
  auto& manager = Singleton<CPlaybackManager>::Instance();
  manager->SetWaveOutFactory(QtWaveOut::Factory());
  manager->SetFrameWindow(&receiver);

  int exitCode = zel::cli::kExitOk;
  const std::string& path = parser.Positional()[0];
  if (!manager->Load(path, *passphrase)) {
    zel::cli::PrintError("cannot load recording " + path);
    exitCode = zel::cli::kExitFailure;
  } else if (manager->PlayStop(true, false), !manager->IsPlaying()) {
    exitCode = zel::cli::kExitFailure;  // the device message has been shown
  } else {
    CPlayerState player(*manager);
    const std::string durationText = player.DurationText();
    const bool terminal = zel::cli::StderrIsTerminal();
    std::string positionText;

    QSocketNotifier signalNotifier(g_signalPipe[0], QSocketNotifier::Read);
    QObject::connect(&signalNotifier, &QSocketNotifier::activated, [&] {
      unsigned char value = 0, last = SIGINT;
      while (::read(g_signalPipe[0], &value, 1) == 1) last = value;
      manager->PlayStop(false, true);
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
      if (!manager->IsPlaying()) app.quit();
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
  }
  manager->Close();
  manager->SetFrameWindow(nullptr);
  manager->SetWaveOutFactory(nullptr);
  ::sigaction(SIGINT, &oldInt, nullptr);
  ::sigaction(SIGTERM, &oldTerm, nullptr);
  ::close(g_signalPipe[0]);
  ::close(g_signalPipe[1]);
  return exitCode;
}

#endif
