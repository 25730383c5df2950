#include <cstdlib>
#include <mutex>

#include "audio/ISaveFileChooser.h"

namespace {

class CancellingChooser : public ISaveFileChooser {
 public:
  std::optional<SaveFileChoice> ChooseSaveFile(const SaveFileRequest&) override {
    return std::nullopt;
  }
};

std::mutex g_chooserMutex;
std::shared_ptr<ISaveFileChooser>& ChooserStorage() {
  static auto* chooser = new std::shared_ptr<ISaveFileChooser>();
  return *chooser;
}
const std::shared_ptr<ISaveFileChooser>& Cancelling() {
  static auto* chooser = new std::shared_ptr<ISaveFileChooser>(std::make_shared<CancellingChooser>());
  return *chooser;
}

}  // namespace

namespace zel {

void SetSaveFileChooser(std::shared_ptr<ISaveFileChooser> chooser) {
  std::lock_guard<std::mutex> lock(g_chooserMutex);
  ChooserStorage() = std::move(chooser);
}

std::shared_ptr<ISaveFileChooser> SaveFileChooser() {
  std::lock_guard<std::mutex> lock(g_chooserMutex);
  return ChooserStorage() ? ChooserStorage() : Cancelling();
}

bool SaveFileChooserInstalled() {
  std::lock_guard<std::mutex> lock(g_chooserMutex);
  return ChooserStorage() && ChooserStorage() != Cancelling();
}

}  // namespace zel
