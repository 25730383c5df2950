#pragma once
#include <memory>
#include <optional>
#include <string>

#include "platform/Desktop.h"

// The save-file dialog of the export commands. The desktop program installs one on
// Qt's file dialog, zelctl one that answers the path given on its command line,
// tests one with a fixed answer. Without an installed chooser every request is
// cancelled.
struct SaveFileRequest {
  std::string defaultExtension;  // "wav" or "zel", without the dot
  std::string fileName;          // proposed name: the recording's base name
  // Windows-style filter list, e.g. "Zel Files (*.zel)|*.zel||".
  std::string filter;
  std::string initialFolder;  // the user's documents folder
};

struct SaveFileChoice {
  std::string path;
  int filterIndex = 0;  // 0 for the first filter of the list, 1 for the second, ...
};

class ISaveFileChooser {
 public:
  virtual ~ISaveFileChooser() = default;
  // The chosen path and filter, or nullopt when the user cancelled. The dialog asks
  // before overwriting and hides the read-only switch.
  virtual std::optional<SaveFileChoice> ChooseSaveFile(const SaveFileRequest& request) = 0;
};

namespace zel {

// Installs `chooser` for the whole process (null: every request is cancelled).
void SetSaveFileChooser(std::shared_ptr<ISaveFileChooser> chooser);
// The installed chooser, or one that cancels every request; never null.
std::shared_ptr<ISaveFileChooser> SaveFileChooser();
// False while no chooser of the program's own is installed (SaveFileChooser cancels).
bool SaveFileChooserInstalled();

}  // namespace zel
