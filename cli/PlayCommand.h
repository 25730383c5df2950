#pragma once
#include <optional>

#include "audio/CPlaybackChain.h"
#include "cli/RecordingCommand.h"

// zelctl play: plays a recording through the default sound device with a progress
// line, stopping at the end as the player panel does. Ctrl+C (SIGINT) or SIGTERM
// stops cleanly, closing the device: exit 130 or 143.
//
// The sound output needs Qt Multimedia, which no other command needs: zelctl checks
// the arguments and then becomes the helper program "zelctl-play" (beside zelctl,
// or in the install's libexec folder), so that only playing loads Qt.
class PlayCommand : public RecordingCommand {
 public:
  const char* Name() const override { return "play"; }
  const char* Description() const override {
    return "Play a recording through the default sound device";
  }
  const char* Usage() const override {
    return "FILE [--speed X] [--skip-silence] [--normalise] [--passphrase P | --passphrase-file F]";
  }
  // --speed (0.5 to 2.0, pitch kept), --skip-silence and --normalise; nothing when
  // the speed is not such a number.
  static std::optional<CPlaybackChain::Options> PlaybackOptionsFrom(const ArgParser& args);

 protected:
  PositionalSpec Positionals() const override { return {1, 1, "expects exactly one recording"}; }
  std::vector<OptionSpec> RecordingOptions() const override;
  int Validate(const ArgParser& args) override;
  int ExecuteWith(const ArgParser& args, const std::string& passphrase) override;
};
