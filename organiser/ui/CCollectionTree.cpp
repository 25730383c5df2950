#include "organiser/ui/CCollectionTree.h"

#include <QContextMenuEvent>
#include <QDesktopServices>
#include <QMenu>
#include <QUrl>
#include <algorithm>
#include <map>
#include <set>

#include "organiser/CCollectionStore.h"
#include "organiser/CollectionCommands.h"
#include "toolkit/ui/CIconSet.h"

namespace {
constexpr int kEntryIdRole = Qt::UserRole;
constexpr int kIsGroupRole = Qt::UserRole + 1;

void CollectExpanded(QTreeWidgetItem* item, std::set<int>& expanded, std::set<int>& selected) {
  if (item->isExpanded()) expanded.insert(item->data(0, kEntryIdRole).toInt());
  if (item->isSelected()) selected.insert(item->data(0, kEntryIdRole).toInt());
  for (int i = 0; i < item->childCount(); ++i) CollectExpanded(item->child(i), expanded, selected);
}

void CollectSelected(QTreeWidgetItem* item, std::vector<QTreeWidgetItem*>& out) {
  if (item->isSelected()) out.push_back(item);
  for (int i = 0; i < item->childCount(); ++i) CollectSelected(item->child(i), out);
}
}  // namespace

CCollectionTree::CCollectionTree(CCollectionStore& store, QWidget* parent) : QTreeWidget(parent), store_(store) {
  setHeaderHidden(true);
  setColumnCount(1);
  setSelectionMode(QAbstractItemView::ExtendedSelection);
  setEditTriggers(QAbstractItemView::NoEditTriggers);
  setContextMenuPolicy(Qt::DefaultContextMenu);
  connect(this, &QTreeWidget::itemChanged, this, &CCollectionTree::OnItemChanged);
  Refresh();
}

CCollectionTree::~CCollectionTree() = default;

void CCollectionTree::Refresh() {
  std::set<int> expanded, selected;
  const bool firstFill = topLevelItemCount() == 0;
  for (int i = 0; i < topLevelItemCount(); ++i) CollectExpanded(topLevelItem(i), expanded, selected);
  filling_ = true;
  clear();
  // Children by parent id, in store order; only entries reachable from a
  // top-level entry are shown, each once.
  std::map<int, std::vector<const CollectionEntry*>> children;
  for (const auto& entry : store_.Entries()) children[entry->parentId].push_back(entry.get());
  std::set<int> placed;
  struct Pending {
    QTreeWidgetItem* parent;
    const CollectionEntry* entry;
  };
  std::vector<Pending> work;
  for (auto it = children[-1].rbegin(); it != children[-1].rend(); ++it) work.push_back({nullptr, *it});
  std::vector<QTreeWidgetItem*> roots;
  while (!work.empty()) {
    Pending next = work.back();
    work.pop_back();
    if (!placed.insert(next.entry->id).second) continue;
    QTreeWidgetItem* item = NewItem(next.entry->name, next.entry->id, next.entry->isGroup != 0);
    if (next.parent) {
      next.parent->addChild(item);
    } else {
      addTopLevelItem(item);
    }
    auto found = children.find(next.entry->id);
    const bool hasChildren = found != children.end() && !found->second.empty();
    item->setChildIndicatorPolicy(hasChildren ? QTreeWidgetItem::ShowIndicator
                                              : QTreeWidgetItem::DontShowIndicatorWhenChildless);
    if (hasChildren) {
      for (auto child = found->second.rbegin(); child != found->second.rend(); ++child) work.push_back({item, *child});
    }
    const int id = next.entry->id;
    if (expanded.count(id) || (firstFill && !next.parent)) item->setExpanded(true);
    if (selected.count(id)) item->setSelected(true);
  }
  filling_ = false;
}

QTreeWidgetItem* CCollectionTree::NewItem(const std::string& label, int entryId, bool isGroup) {
  auto* item = new QTreeWidgetItem;
  item->setText(0, QString::fromStdString(label));
  item->setData(0, kEntryIdRole, entryId);
  item->setData(0, kIsGroupRole, isGroup);
  item->setIcon(0, CIconSet::Icon(isGroup ? QStringLiteral("group") : QStringLiteral("link")));
  item->setFlags(item->flags() | Qt::ItemIsEditable);
  return item;
}

QAction* CCollectionTree::FindAction(QMenu* menu, int id) {
  if (!menu) return nullptr;
  for (QAction* action : menu->actions()) {
    if (!action->isSeparator() && action->data().toInt() == id) return action;
  }
  return nullptr;
}

QTreeWidgetItem* CCollectionTree::ItemForEntry(int id) {
  std::vector<QTreeWidgetItem*> work;
  for (int i = 0; i < topLevelItemCount(); ++i) work.push_back(topLevelItem(i));
  while (!work.empty()) {
    QTreeWidgetItem* item = work.back();
    work.pop_back();
    if (EntryIdOf(item) == id) return item;
    for (int i = 0; i < item->childCount(); ++i) work.push_back(item->child(i));
  }
  return nullptr;
}

int CCollectionTree::EntryIdOf(const QTreeWidgetItem* item) const {
  return item ? item->data(0, kEntryIdRole).toInt() : -1;
}

bool CCollectionTree::IsGroupItem(const QTreeWidgetItem* item) const {
  return item && item->data(0, kIsGroupRole).toBool();
}

std::vector<QTreeWidgetItem*> CCollectionTree::SelectedInTreeOrder() const {
  std::vector<QTreeWidgetItem*> out;
  for (int i = 0; i < topLevelItemCount(); ++i) CollectSelected(topLevelItem(i), out);
  return out;
}

std::vector<ICollectionTree::Item> CCollectionTree::SelectedHandles() const {
  std::vector<Item> handles;
  for (QTreeWidgetItem* item : SelectedInTreeOrder()) handles.push_back(item);
  return handles;
}

// ICollectionTree over the QTreeWidget items.

ICollectionTree::Item CCollectionTree::FirstRoot() { return topLevelItemCount() ? topLevelItem(0) : nullptr; }

ICollectionTree::Item CCollectionTree::FirstChild(Item item) {
  QTreeWidgetItem* it = ItemOf(item);
  return it && it->childCount() ? it->child(0) : nullptr;
}

ICollectionTree::Item CCollectionTree::NextSibling(Item item) {
  QTreeWidgetItem* it = ItemOf(item);
  if (!it) return nullptr;
  QTreeWidgetItem* parent = it->parent();
  if (parent) {
    int index = parent->indexOfChild(it);
    return index + 1 < parent->childCount() ? parent->child(index + 1) : nullptr;
  }
  int index = indexOfTopLevelItem(it);
  return index >= 0 && index + 1 < topLevelItemCount() ? topLevelItem(index + 1) : nullptr;
}

ICollectionTree::Item CCollectionTree::Parent(Item item) {
  QTreeWidgetItem* it = ItemOf(item);
  return it ? it->parent() : nullptr;
}

int CCollectionTree::EntryId(Item item) { return EntryIdOf(ItemOf(item)); }

std::string CCollectionTree::Label(Item item) {
  QTreeWidgetItem* it = ItemOf(item);
  return it ? it->text(0).toStdString() : std::string();
}

bool CCollectionTree::ItemHasChildren(Item item) {
  QTreeWidgetItem* it = ItemOf(item);
  return it && (it->childCount() > 0 || it->childIndicatorPolicy() == QTreeWidgetItem::ShowIndicator);
}

void CCollectionTree::DeleteItem(Item item) { delete ItemOf(item); }

void CCollectionTree::SetHasChildren(Item item, bool hasChildren) {
  if (QTreeWidgetItem* it = ItemOf(item)) {
    it->setChildIndicatorPolicy(hasChildren ? QTreeWidgetItem::ShowIndicator
                                            : QTreeWidgetItem::DontShowIndicatorWhenChildless);
  }
}

ICollectionTree::Item CCollectionTree::AppendItem(Item parent, const std::string& label, int entryId, bool isGroup) {
  const bool wasFilling = filling_;
  filling_ = true;
  QTreeWidgetItem* item = NewItem(label, entryId, isGroup);
  if (QTreeWidgetItem* p = ItemOf(parent)) {
    p->addChild(item);
    p->setExpanded(true);
  } else {
    addTopLevelItem(item);
  }
  filling_ = wasFilling;
  return item;
}

void CCollectionTree::SelectItem(Item item) {
  QTreeWidgetItem* it = ItemOf(item);
  if (!it) return;
  setCurrentItem(it, 0, QItemSelectionModel::ClearAndSelect);
  scrollToItem(it);
}

void CCollectionTree::EditLabel(Item item) {
  if (QTreeWidgetItem* it = ItemOf(item)) {
    scrollToItem(it);
    editItem(it, 0);
  }
}

// A finished label edit becomes the entry's name; an empty label keeps the old one.
void CCollectionTree::OnItemChanged(QTreeWidgetItem* item, int column) {
  if (filling_ || column != 0) return;
  CollectionEntry* entry = store_.GetEntry(EntryIdOf(item));
  if (!entry) return;
  const std::string label = item->text(0).trimmed().toStdString();
  if (label.empty() || label == entry->name) {
    filling_ = true;
    item->setText(0, QString::fromStdString(entry->name));
    filling_ = false;
    return;
  }
  entry->name = label;
  emit collectionChanged();
}

// Commands shared by both trees.

void CCollectionTree::SelectAllChildren(QTreeWidgetItem* group) {
  if (!group || group->childCount() == 0) return;
  group->setSelected(false);
  for (int i = 0; i < group->childCount(); ++i) {
    QTreeWidgetItem* child = group->child(i);
    if (!IsGroupItem(child)) child->setSelected(true);
  }
  group->setExpanded(true);
}

void CCollectionTree::RemoveSelected() {
  std::vector<int> ids;
  for (QTreeWidgetItem* item : SelectedInTreeOrder()) {
    if (item->parent()) ids.push_back(EntryIdOf(item));
  }
  if (ids.empty()) return;
  // Last first, so that children go before the group that holds them.
  for (auto id = ids.rbegin(); id != ids.rend(); ++id) {
    if (QTreeWidgetItem* item = ItemForEntry(*id)) zel::RemoveItem(store_, *this, item);
  }
  emit collectionChanged();
}

void CCollectionTree::ClearLinks(QTreeWidgetItem* group) {
  if (!group) return;
  std::vector<int> ids;
  for (int i = 0; i < group->childCount(); ++i) {
    if (!IsGroupItem(group->child(i))) ids.push_back(EntryIdOf(group->child(i)));
  }
  for (int id : ids) {
    if (QTreeWidgetItem* item = ItemForEntry(id)) zel::RemoveItem(store_, *this, item);
  }
  if (!ids.empty()) emit collectionChanged();
}

void CCollectionTree::Explore(const std::string& folder) {
  if (!folder.empty()) QDesktopServices::openUrl(QUrl::fromLocalFile(QString::fromStdString(folder)));
}

std::unique_ptr<QMenu> CCollectionTree::NewMenu(QTreeWidgetItem* item) {
  if (!item) return nullptr;
  auto menu = std::make_unique<QMenu>(this);
  const int id = EntryIdOf(item);
  connect(menu.get(), &QMenu::triggered, this, [this, id](QAction* action) {
    // Looked up again: a refresh while the menu was open replaces the items.
    if (QTreeWidgetItem* now = ItemForEntry(id)) RunCommand(action->data().toInt(), now);
  });
  return menu;
}

QAction* CCollectionTree::AddCommand(QMenu* menu, int id, const QString& text) {
  QAction* action = menu->addAction(text);
  action->setData(id);
  return action;
}

void CCollectionTree::contextMenuEvent(QContextMenuEvent* event) {
  QTreeWidgetItem* item = itemAt(event->pos());
  if (!item && event->reason() == QContextMenuEvent::Keyboard) item = currentItem();
  std::unique_ptr<QMenu> menu = CreateContextMenu(item);
  if (!menu) return;
  menu->exec(event->globalPos());
}
