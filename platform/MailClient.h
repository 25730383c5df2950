#pragma once
#include <string>
#include <vector>

// Hands a message to the desktop's mail client through xdg-email, which opens the
// client's compose window with subject, text and attachment filled in; the user
// picks the recipients there. xdg-email is looked up on PATH for every message and
// run directly (fork/exec, never through a shell).
namespace zel {

class MailMessage {
 public:
  // Error states, as Send returns them.
  static constexpr int kOk = 0;
  static constexpr int kNoMailSystem = 1;   // xdg-email not found
  static constexpr int kInvalidMailSystem = 2;  // found but cannot be run
  static constexpr int kSendFailed = 3;     // xdg-email reported a failure

  void SetSubject(const std::string& subject) { Subject_ = subject; }
  void SetNoteText(const std::string& text) { NoteText_ = text; }
  void AddAttachment(const std::string& path) { Attachments_.push_back(path); }

  const std::string& Subject() const { return Subject_; }
  const std::string& NoteText() const { return NoteText_; }
  const std::vector<std::string>& Attachments() const { return Attachments_; }

  // The arguments given to xdg-email (without the program name).
  std::vector<std::string> Arguments() const;

  // Runs xdg-email and waits for it. Failures are shown through zel::ShowMessage
  // ("Unable to load mail system support.", "Mail system DLL is invalid.",
  // "Send Mail failed to send message.") and returned as the error state. An
  // xdg-email interrupted by SIGINT counts as the user's cancel: kOk, no message.
  int Send();

 private:
  std::string Subject_;
  std::string NoteText_;
  std::vector<std::string> Attachments_;
};

}  // namespace zel
