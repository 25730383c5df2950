#include "core/MessageSink.h"

#include <cstdio>
#include <mutex>

namespace {

class StderrMessageSink : public IMessageSink {
 public:
  void ShowMessage(const std::string& text, const std::string&, Icon) override {
    std::fprintf(stderr, "%s\n", text.c_str());
  }
  Answer AskYesNo(const std::string& text, const std::string&) override {
    std::fprintf(stderr, "%s\n", text.c_str());
    return Answer::No;
  }
};

std::mutex g_sinkMutex;
std::shared_ptr<IMessageSink>& SinkStorage() {
  static auto* sink = new std::shared_ptr<IMessageSink>();
  return *sink;
}

}  // namespace

namespace zel {

void SetMessageSink(std::shared_ptr<IMessageSink> sink) {
  std::lock_guard<std::mutex> lock(g_sinkMutex);
  SinkStorage() = std::move(sink);
}

std::shared_ptr<IMessageSink> MessageSink() {
  std::lock_guard<std::mutex> lock(g_sinkMutex);
  if (!SinkStorage()) SinkStorage() = std::make_shared<StderrMessageSink>();
  return SinkStorage();
}

}  // namespace zel
