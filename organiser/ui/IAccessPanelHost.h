#pragma once
#include <string>
#include <vector>

// What the access panel's trees ask of the main window: the player, the search
// and the list windows live there.
class IAccessPanelHost {
 public:
  virtual ~IAccessPanelHost() = default;
  // Loads the recording into the player and starts playing; false when it cannot
  // be loaded.
  virtual bool PlayRecording(const std::string& path) = 0;
  // Opens "Create Recording List" with these folders filled in (the main window's
  // folder-list notification, 0xA041), then searches them.
  virtual void CreateListForFolders(const std::vector<std::string>& folders) = 0;
  // Opens a new list window of these recordings (a custom list).
  virtual void OpenRecordingList(const std::vector<std::string>& paths) = 0;
};
