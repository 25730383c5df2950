#include "platform/Desktop.h"

#include "core/Folders.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <cstdlib>
#include <filesystem>

namespace zel {

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

int RunProgram(const std::vector<std::string>& argv, std::string* output, bool quiet) {
  if (argv.empty()) return -1;
  // Everything the child needs is prepared before fork: only async-signal-safe calls
  // are allowed between fork and exec in a process that has other threads.
  std::string program = argv[0];
  if (program.find('/') == std::string::npos) program = FindProgramOnPath(program, nullptr);
  if (program.empty()) return -1;
  std::vector<char*> args;
  args.push_back(program.data());
  for (size_t i = 1; i < argv.size(); ++i) args.push_back(const_cast<char*>(argv[i].c_str()));
  args.push_back(nullptr);
  int null = quiet ? ::open("/dev/null", O_WRONLY | O_CLOEXEC) : -1;
  int pipeFds[2] = {-1, -1};
  if (output != nullptr && ::pipe2(pipeFds, O_CLOEXEC) != 0) return -1;
  pid_t pid = ::fork();
  if (pid < 0) {
    if (null >= 0) ::close(null);
    if (output != nullptr) {
      ::close(pipeFds[0]);
      ::close(pipeFds[1]);
    }
    return -1;
  }
  if (pid == 0) {
    if (null >= 0) {
      ::dup2(null, STDERR_FILENO);
      if (output == nullptr) ::dup2(null, STDOUT_FILENO);
    }
    if (output != nullptr) ::dup2(pipeFds[1], STDOUT_FILENO);
    ::execv(args[0], args.data());
    ::_exit(127);
  }
  if (null >= 0) ::close(null);
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

bool OpenWithDesktop(const std::string& path) { return RunProgram({"xdg-open", path}, nullptr, true) == 0; }

std::string DocumentsFolder() {
  const char* home = std::getenv("HOME");
  std::string homeFolder = home != nullptr && home[0] == '/' ? std::string(home) : std::string();
  while (homeFolder.size() > 1 && homeFolder.back() == '/') homeFolder.pop_back();
  std::string folder;
  if (RunProgram({"xdg-user-dir", "DOCUMENTS"}, &folder, true) != 0) folder.clear();
  while (!folder.empty() && (folder.back() == '\n' || folder.back() == '\r')) folder.pop_back();
  while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
  if (folder.empty() || folder[0] != '/' || folder == homeFolder) {
    folder = homeFolder.empty() ? std::string() : homeFolder + "/Documents";
  }
  return folder;
}

std::string TempFolder() {
  const char* tmp = std::getenv("TMPDIR");
  std::string folder = (tmp != nullptr && tmp[0] != '\0') ? tmp : "/tmp";
  if (folder.back() != '/') folder += '/';
  return folder;
}

bool MoveToTrash(const std::string& path, std::string& error) {
  std::string data;
  GetShellFolder(1, data);
  const std::string trash = data + "/Trash/";
  std::error_code ec;
  std::filesystem::create_directories(trash + "files", ec);
  std::filesystem::create_directories(trash + "info", ec);
  std::string absolute = std::filesystem::absolute(path, ec).lexically_normal().string();
  std::string name = std::filesystem::path(absolute).filename().string();
  // The info file is made first, exclusively: it reserves the name in the trash.
  std::string base = name;
  int fd = -1;
  for (int attempt = 1; attempt < 10000 && fd < 0; ++attempt) {
    if (attempt > 1) base = name + "." + std::to_string(attempt);
    fd = ::open((trash + "info/" + base + ".trashinfo").c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd < 0 && errno != EEXIST) break;
  }
  if (fd < 0) {
    error = std::string("the trash cannot be written: ") + std::strerror(errno);
    return false;
  }
  std::string encoded;
  for (unsigned char c : absolute) {
    if (std::isalnum(c) || std::strchr("/-_.~", c) != nullptr) {
      encoded += static_cast<char>(c);
    } else {
      char hex[4];
      std::snprintf(hex, sizeof hex, "%%%02X", c);
      encoded += hex;
    }
  }
  std::time_t now = std::time(nullptr);
  struct tm local {};
  localtime_r(&now, &local);
  char date[32];
  std::strftime(date, sizeof date, "%Y-%m-%dT%H:%M:%S", &local);
  std::string info = "[Trash Info]\nPath=" + encoded + "\nDeletionDate=" + date + "\n";
  bool written = ::write(fd, info.data(), info.size()) == static_cast<ssize_t>(info.size()) && ::fsync(fd) == 0;
  ::close(fd);
  if (written && ::rename(absolute.c_str(), (trash + "files/" + base).c_str()) == 0) return true;
  error = errno == EXDEV ? "it lies on another file system than the trash" : std::strerror(errno);
  ::unlink((trash + "info/" + base + ".trashinfo").c_str());
  return false;
}

}  // namespace zel
