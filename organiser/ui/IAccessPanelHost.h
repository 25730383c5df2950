#pragma once
#include <string>
#include <vector>

// What the access panel's trees ask of the main window: the player and the list
// windows live there. Folder lists reach it as the folder-list notification.
class IAccessPanelHost {
 public:
  virtual ~IAccessPanelHost() = default;
  // Loads the recording into the player and starts playing; false when it cannot
  // be loaded.
  virtual bool PlayRecording(const std::string& path) = 0;
  // Opens a new list window of these recordings (a custom list).
  virtual void OpenRecordingList(const std::vector<std::string>& paths) = 0;
};
