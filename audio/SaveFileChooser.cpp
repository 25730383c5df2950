#include <cstdlib>
#include <mutex>

#include "audio/ISaveFileChooser.h"
#include "platform/MailClient.h"

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

}  // namespace

namespace zel {

void SetSaveFileChooser(std::shared_ptr<ISaveFileChooser> chooser) {
  std::lock_guard<std::mutex> lock(g_chooserMutex);
  ChooserStorage() = std::move(chooser);
}

std::shared_ptr<ISaveFileChooser> SaveFileChooser() {
  std::lock_guard<std::mutex> lock(g_chooserMutex);
  if (!ChooserStorage()) ChooserStorage() = std::make_shared<CancellingChooser>();
  return ChooserStorage();
}

std::string DocumentsFolder() {
  bool executable = false;
  std::string program = FindProgramOnPath("xdg-user-dir", &executable);
  if (!program.empty() && executable) {
    std::string out;
    if (RunProgram({program, "DOCUMENTS"}, &out) == 0) {
      while (!out.empty() && (out.back() == '\n' || out.back() == '\r')) out.pop_back();
      if (!out.empty() && out[0] == '/') return out;
    }
  }
  const char* home = std::getenv("HOME");
  return std::string(home != nullptr ? home : "") + "/Documents";
}

}  // namespace zel
