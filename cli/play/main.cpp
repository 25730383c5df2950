#include <string>
#include <vector>

#include "cli/play/SoundPlayCommand.h"

// zelctl-play: what `zelctl play` becomes once it has checked its arguments.
int main(int argc, char** argv) {
  SoundPlayCommand command;
  return command.Run(std::vector<std::string>(argv + 1, argv + argc));
}
