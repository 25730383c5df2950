#pragma once
#include <QIcon>
#include <QString>

// The program's own SVG icons, compiled into the resource file under ":/icons".
// SVG icons render sharply at every size and device pixel ratio.
class CIconSet {
 public:
  // `name` is the file name without ".svg" (e.g. "play", "bookmark-start").
  // An unknown name yields a null icon.
  static QIcon Icon(const QString& name);
  static bool Has(const QString& name);
};
