#pragma once
#include "cli/PlayCommand.h"

// The play command itself, in the helper program that links Qt Multimedia: the
// recording through the default sound device, with the player panel's timer.
class SoundPlayCommand : public PlayCommand {
 protected:
  int ExecuteWith(const ArgParser& args, const std::string& passphrase) override;
};
