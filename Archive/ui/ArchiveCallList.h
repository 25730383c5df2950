#pragma once
#include <cstddef>
#include <functional>
#include <string>
#include <vector>

class CZelVelomarDoc;

// The recording list the archive wizard takes its calls from: the list window's
// document, the rows selected in that window and how to take a call off that window
// once its original was deleted. The window shows the wizard modally and outlives it.
struct ArchiveCallList {
  const CZelVelomarDoc* document = nullptr;
  std::vector<size_t> selected;
  std::function<void(const std::string& path)> removeEntry;
};
