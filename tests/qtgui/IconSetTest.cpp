#include <gtest/gtest.h>

#include <QDir>
#include <QImage>
#include <QPixmap>

#include "toolkit/ui/CIconSet.h"

// Every icon in the set renders something at 1x and 2x; an SVG that fails to parse
// renders an empty pixmap.
TEST(IconSet, EveryIconRendersAtBothScales) {
  QStringList names = QDir(QStringLiteral(":/icons")).entryList({QStringLiteral("*.svg")});
  ASSERT_GE(names.size(), 20);
  for (const QString& file : names) {
    QString name = file.chopped(4);
    for (int size : {16, 32}) {
      QImage img = CIconSet::Icon(name).pixmap(size, size).toImage();
      ASSERT_EQ(img.width(), size) << name.toStdString();
      int opaque = 0;
      for (int y = 0; y < size; ++y)
        for (int x = 0; x < size; ++x) opaque += qAlpha(img.pixel(x, y)) > 0;
      EXPECT_GT(opaque, size * size / 20) << name.toStdString() << " at " << size;
    }
  }
  EXPECT_TRUE(CIconSet::Icon(QStringLiteral("no-such-icon")).isNull());
}
