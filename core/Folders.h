#pragma once
#include <string>

// The application data folders. Kind 0 is the user's application data
// ($XDG_CONFIG_HOME, default ~/.config), kind 1 the data common to all users
// ($XDG_DATA_HOME, default ~/.local/share). Every folder path returned by the
// Get*Folder functions ends in "/" and exists (created with its parents) on return.
namespace zel {

// True and `path` replaced for kinds 0 and 1; false and `path` unchanged otherwise.
bool GetShellFolder(int kind, std::string& path);

// <common data>/<company>/<product>/Log/
std::string GetLogFolder();
// <common or user data>/<company>/<product>/Configuration/
std::string GetConfigurationFolder(bool common);
std::string GetConfigurationFolderFor(bool common, const std::string& company,
                                      const std::string& product);

}  // namespace zel
