#include "organiser/ui/CGroupPicker.h"

#include <map>
#include <set>
#include <vector>

#include "organiser/CCollectionStore.h"
#include "toolkit/ui/CIconSet.h"

CGroupPicker::CGroupPicker(CCollectionStore& store, QWidget* parent) : QTreeWidget(parent) {
  setHeaderHidden(true);
  setColumnCount(1);
  setSelectionMode(QAbstractItemView::SingleSelection);
  std::map<int, std::vector<const CollectionEntry*>> children;
  for (const auto& entry : store.Entries()) {
    if (entry->isGroup) children[entry->parentId].push_back(entry.get());
  }
  // Depth first from the top-level groups; each group once, whatever the file says.
  std::set<int> placed;
  std::vector<std::pair<QTreeWidgetItem*, const CollectionEntry*>> work;
  for (auto it = children[-1].rbegin(); it != children[-1].rend(); ++it) work.push_back({nullptr, *it});
  while (!work.empty()) {
    auto [parentItem, entry] = work.back();
    work.pop_back();
    if (!placed.insert(entry->id).second) continue;
    auto* item = new QTreeWidgetItem;
    item->setText(0, QString::fromStdString(entry->name));
    item->setData(0, Qt::UserRole, entry->id);
    item->setIcon(0, CIconSet::Icon(QStringLiteral("group")));
    if (parentItem) {
      parentItem->addChild(item);
    } else {
      addTopLevelItem(item);
    }
    auto found = children.find(entry->id);
    if (found == children.end()) continue;
    for (auto child = found->second.rbegin(); child != found->second.rend(); ++child) work.push_back({item, *child});
  }
  expandAll();
}

int CGroupPicker::SelectedId() const {
  const QList<QTreeWidgetItem*> items = selectedItems();
  return items.isEmpty() ? -1 : items.front()->data(0, Qt::UserRole).toInt();
}

void CGroupPicker::SelectId(int id) {
  for (QTreeWidgetItemIterator it(this); *it; ++it) {
    if ((*it)->data(0, Qt::UserRole).toInt() == id) {
      setCurrentItem(*it);
      return;
    }
  }
}
