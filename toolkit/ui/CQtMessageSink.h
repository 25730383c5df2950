#pragma once
#include "core/MessageSink.h"

class QWidget;

// Shows the core's messages as message boxes over the application's active window.
class CQtMessageSink : public IMessageSink {
 public:
  void ShowMessage(const std::string& text, const std::string& caption, Icon icon) override;
  Answer AskYesNo(const std::string& text, const std::string& caption) override;
};
