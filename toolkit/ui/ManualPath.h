#pragma once
#include <QString>

namespace zelgui {
// Where the manual `fileName` is: beside the program (the build tree) or in the
// installed documentation folder ("<prefix>/share/doc/zel-velomar"); the path beside
// the program when neither exists.
QString ManualPath(const QString& fileName);
}  // namespace zelgui
