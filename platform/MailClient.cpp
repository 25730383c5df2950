#include "platform/MailClient.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>

#include "core/CKlLogger.h"
#include "core/MessageSink.h"

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

std::string FindProgramOnPath(const std::string& name, bool* executable) {
  if (executable != nullptr) *executable = false;
  const char* pathEnv = std::getenv("PATH");
  std::string path = pathEnv != nullptr ? pathEnv : "/usr/local/bin:/usr/bin:/bin";
  size_t start = 0;
  while (start <= path.size()) {
    size_t end = path.find(':', start);
    if (end == std::string::npos) end = path.size();
    std::string dir = path.substr(start, end - start);
    if (dir.empty()) dir = ".";
    std::string candidate = dir + "/" + name;
    struct stat st {};
    if (::stat(candidate.c_str(), &st) == 0 && S_ISREG(st.st_mode)) {
      if (executable != nullptr) *executable = ::access(candidate.c_str(), X_OK) == 0;
      return candidate;
    }
    start = end + 1;
  }
  return "";
}

int RunProgram(const std::vector<std::string>& argv, std::string* output) {
  if (argv.empty()) return -1;
  // Everything the child needs is prepared before fork: only async-signal-safe calls
  // are allowed between fork and exec in a process that has other threads.
  std::vector<char*> args;
  for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  int pipeFds[2] = {-1, -1};
  if (output != nullptr && ::pipe2(pipeFds, O_CLOEXEC) != 0) return -1;
  pid_t pid = ::fork();
  if (pid < 0) {
    if (output != nullptr) {
      ::close(pipeFds[0]);
      ::close(pipeFds[1]);
    }
    return -1;
  }
  if (pid == 0) {
    if (output != nullptr) ::dup2(pipeFds[1], STDOUT_FILENO);
    ::execv(args[0], args.data());
    ::_exit(127);
  }
  if (output != nullptr) {
    ::close(pipeFds[1]);
    output->clear();
    char buffer[4096];
    for (;;) {
      ssize_t n = ::read(pipeFds[0], buffer, sizeof buffer);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) break;
      output->append(buffer, static_cast<size_t>(n));
    }
    ::close(pipeFds[0]);
  }
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0) {
    if (errno != EINTR) return -1;
  }
  if (WIFEXITED(status)) return WEXITSTATUS(status);
  if (WIFSIGNALED(status)) return 128 + WTERMSIG(status);
  return -1;
}

}  // namespace zel
