#include "platform/MailClient.h"

#include <signal.h>

#include <filesystem>

#include "core/CKlLogger.h"
#include "core/MessageSink.h"
#include "platform/Desktop.h"

namespace zel {

std::vector<std::string> MailMessage::Arguments() const {
  std::vector<std::string> args;
  if (!Subject_.empty()) args.insert(args.end(), {"--subject", Subject_});
  if (!NoteText_.empty()) args.insert(args.end(), {"--body", NoteText_});
  for (const auto& path : Attachments_) {
    // xdg-email hands attachments to other programs, which need absolute paths.
    std::error_code ec;
    auto absolute = std::filesystem::absolute(path, ec);
    args.insert(args.end(), {"--attach", ec ? path : absolute.string()});
  }
  return args;
}

int MailMessage::Send() {
  bool executable = false;
  std::string program = FindProgramOnPath("xdg-email", &executable);
  if (program.empty()) {
    ShowMessage("Unable to load mail system support.", IMessageSink::Icon::Error);
    return kNoMailSystem;
  }
  if (!executable) {
    ShowMessage("Mail system DLL is invalid.", IMessageSink::Icon::Error);
    return kInvalidMailSystem;
  }
  std::vector<std::string> argv{program};
  for (auto& a : Arguments()) argv.push_back(std::move(a));
  int status = RunProgram(argv, nullptr);
  if (status == 0 || status == 128 + SIGINT) return kOk;
  Singleton<CKlLogger>::Instance()->LogLine("xdg-email failed with status %d", status);
  if (status == -1 || status == 126 || status == 127) {
    ShowMessage("Mail system DLL is invalid.", IMessageSink::Icon::Error);
    return kInvalidMailSystem;
  }
  ShowMessage("Send Mail failed to send message.", IMessageSink::Icon::Error);
  return kSendFailed;
}

}  // namespace zel
