#pragma once
#include <string>
#include <vector>

class QMimeData;

namespace zel::ui {

// The local files of a drop or of the clipboard (a desktop file list, text/uri-list).
std::vector<std::string> DroppedFiles(const QMimeData* data);

}  // namespace zel::ui
