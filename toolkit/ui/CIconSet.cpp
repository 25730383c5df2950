#include "toolkit/ui/CIconSet.h"

#include <QFile>
#include <QHash>

namespace {
// A branding bundle (registered under ":/branding") may replace any icon.
QString PathOf(const QString& name) {
  const QString branded = QStringLiteral(":/branding/icons/") + name + QStringLiteral(".svg");
  if (QFile::exists(branded)) return branded;
  return QStringLiteral(":/icons/") + name + QStringLiteral(".svg");
}
}  // namespace

bool CIconSet::Has(const QString& name) { return QFile::exists(PathOf(name)); }

QIcon CIconSet::Icon(const QString& name) {
  // Icons are asked for on every menu build; parse each file once.
  static QHash<QString, QIcon> cache;
  auto it = cache.find(name);
  if (it != cache.end()) return *it;
  QIcon icon;
  if (Has(name)) icon = QIcon(PathOf(name));
  cache.insert(name, icon);
  return icon;
}
