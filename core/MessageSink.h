#pragma once
#include <memory>
#include <string>

// Where the core's parts put the messages that a desktop program shows in message
// boxes. The GUI installs a sink that opens dialogs, zelctl one that writes to
// stderr, tests one that records. Without an installed sink messages go to stderr.
class IMessageSink {
 public:
  enum class Icon { Information, Warning, Error, Question };
  enum class Answer { Ok, Yes, No, Cancel };

  virtual ~IMessageSink() = default;
  // A message with an OK button.
  virtual void ShowMessage(const std::string& text, const std::string& caption, Icon icon) = 0;
  // A yes/no question; sinks that cannot ask answer No.
  virtual Answer AskYesNo(const std::string& text, const std::string& caption) = 0;
};

namespace zel {

// Installs `sink` for the whole process (null restores the stderr sink).
void SetMessageSink(std::shared_ptr<IMessageSink> sink);
std::shared_ptr<IMessageSink> MessageSink();

inline void ShowMessage(const std::string& text, IMessageSink::Icon icon = IMessageSink::Icon::Information,
                        const std::string& caption = "Zel Velomar") {
  MessageSink()->ShowMessage(text, caption, icon);
}

}  // namespace zel
