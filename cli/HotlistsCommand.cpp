#include "cli/HotlistsCommand.h"
#include "core/Singleton.h"

#include <cstdio>
#include <functional>
#include <set>

#include "cli/CliSupport.h"
#include "cli/JsonWriter.h"
#include "organiser/CHotLists.h"

ZEL_REGISTER_COMMAND(HotlistsCommand);

namespace zel::cli {

int PrintCollection(bool json, CCollectionStore& store) {
  StartCore();
  store.Load();
  const auto& entries = store.Entries();
  if (json) {
    for (const auto& e : entries) {
      JsonWriter writer;
      writer.BeginObject()
          .Field("id", e->id)
          .Field("parentId", e->parentId)
          .Field("name", e->name)
          .Field("target", e->target)
          .Field("isGroup", e->isGroup != 0)
          .EndObject();
      std::printf("%s\n", writer.Text().c_str());
    }
    return kExitOk;
  }
  std::set<const CollectionEntry*> shown;
  std::function<void(int, int)> print = [&](int parentId, int depth) {
    for (const auto& e : entries) {
      if (e->parentId != parentId || shown.count(e.get())) continue;
      shown.insert(e.get());
      std::string indent(static_cast<size_t>(depth) * 2, ' ');
      if (e->isGroup) {
        std::printf("%s%s/\n", indent.c_str(), Visible(e->name).c_str());
      } else {
        std::printf("%s%s -> %s\n", indent.c_str(), Visible(e->name).c_str(), Visible(e->target).c_str());
      }
      if (depth < 256) print(e->id, depth + 1);
    }
  };
  print(-1, 0);
  bool header = false;
  for (const auto& e : entries) {
    if (shown.count(e.get())) continue;
    if (!header) {
      std::printf("(not shown in the tree: parent missing)\n");
      header = true;
    }
    std::printf("  [%d under %d] %s%s%s\n", e->id, e->parentId, Visible(e->name).c_str(), e->isGroup ? "/" : " -> ",
                e->isGroup ? "" : Visible(e->target).c_str());
  }
  return kExitOk;
}

}  // namespace zel::cli

int HotlistsCommand::Execute(const ArgParser& args) {
  return zel::cli::PrintCollection(args.Has("json"), *Singleton<CHotLists>::Instance());
}
