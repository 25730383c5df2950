#include "platform/Desktop.h"

#include "core/Folders.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>

#include "core/PercentEncoding.h"

namespace zel {
namespace {

bool IsFolder(const std::string& path, bool followLinks = true) {
  struct stat st {};
  return (followLinks ? ::stat(path.c_str(), &st) : ::lstat(path.c_str(), &st)) == 0 && S_ISDIR(st.st_mode);
}

// Creates `path` and any missing parents (the last with `mode`); true when it is a folder.
bool MakeFolders(const std::string& path, mode_t mode) {
  if (IsFolder(path)) return true;
  const size_t slash = path.find_last_of('/');
  if (slash != std::string::npos && slash > 0 && !MakeFolders(path.substr(0, slash), 0777)) return false;
  return ::mkdir(path.c_str(), mode) == 0 || (errno == EEXIST && IsFolder(path));
}

// The device of `path`, or of its nearest existing parent.
dev_t DeviceOf(std::string path) {
  struct stat st {};
  while (::stat(path.c_str(), &st) != 0) {
    const size_t slash = path.find_last_of('/');
    if (slash == std::string::npos || slash == 0) return ::stat("/", &st) == 0 ? st.st_dev : 0;
    path.erase(slash);
  }
  return st.st_dev;
}

std::string DataHome() {
  const char* data = std::getenv("XDG_DATA_HOME");
  if (data != nullptr && data[0] == '/') return data;
  const char* home = std::getenv("HOME");
  return std::string(home != nullptr ? home : "") + "/.local/share";
}

// The top folder of the file system that holds the folder `folder` (a real path).
std::string TopFolderOf(const std::string& folder) {
  struct stat own {};
  if (::stat(folder.c_str(), &own) != 0) return "/";
  std::string top = folder;
  while (top != "/") {
    const size_t slash = top.find_last_of('/');
    const std::string parent = slash == 0 ? "/" : top.substr(0, slash);
    struct stat st {};
    if (::stat(parent.c_str(), &st) != 0 || st.st_dev != own.st_dev) break;
    top = parent;
  }
  return top;
}

// The trash at the top of a file system other than the home one: "$top/.Trash/$uid"
// when the administrator made "$top/.Trash" (a sticky folder, not a link), else
// "$top/.Trash-$uid", a folder of our own. "" when neither can be had.
std::string TopTrashFolder(const std::string& top) {
  const std::string base = top == "/" ? std::string() : top;
  const std::string uid = std::to_string(::getuid());
  struct stat shared {};
  if (::lstat((base + "/.Trash").c_str(), &shared) == 0 && S_ISDIR(shared.st_mode) && (shared.st_mode & S_ISVTX)) {
    const std::string own = base + "/.Trash/" + uid;
    if (MakeFolders(own, 0700) && IsFolder(own, false)) return own;
  }
  const std::string own = base + "/.Trash-" + uid;
  struct stat st {};
  if ((::mkdir(own.c_str(), 0700) == 0 || errno == EEXIST) && ::lstat(own.c_str(), &st) == 0 && S_ISDIR(st.st_mode) &&
      st.st_uid == ::getuid())
    return own;
  return "";
}

// The `n`th name tried for `name` in the trash: the name itself, then "Call.2.zel", ...
std::string TrashName(const std::string& name, int n) {
  if (n == 1) return name;
  const size_t dot = name.find_last_of('.');
  if (dot == std::string::npos || dot == 0) return name + "." + std::to_string(n);
  return name.substr(0, dot) + "." + std::to_string(n) + name.substr(dot);
}

bool WriteAllTo(int fd, const std::string& text) {
  size_t done = 0;
  while (done < text.size()) {
    const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<size_t>(n);
  }
  return true;
}

}  // namespace

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

bool MoveToTrash(const std::string& path) {
  const size_t slash = path.find_last_of('/');
  const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
  struct stat file {};
  if (name.empty() || name == "." || name == ".." || ::lstat(path.c_str(), &file) != 0) {
    if (name.empty() || name == "." || name == "..") errno = EINVAL;
    return false;
  }
  // The folder's real path; the file itself may be a link, which goes as it is.
  const std::string parent = slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
  char real[PATH_MAX];
  if (::realpath(parent.c_str(), real) == nullptr) return false;
  const std::string folder = real;
  const std::string absolute = (folder == "/" ? "" : folder) + "/" + name;

  // Files on the data folder's file system go to the home trash; others to the trash
  // at the top of their own, where the info file names them relative to that top.
  std::string trash, infoPath = absolute;
  if (DeviceOf(DataHome()) != file.st_dev) {
    const std::string top = TopFolderOf(folder);
    trash = TopTrashFolder(top);
    if (!trash.empty()) infoPath = top == "/" ? absolute.substr(1) : absolute.substr(top.size() + 1);
  }
  if (trash.empty()) trash = DataHome() + "/Trash";
  if (!MakeFolders(trash + "/files", 0700) || !MakeFolders(trash + "/info", 0700)) return false;

  // The info file comes first, created exclusively, so two deletions of files with the
  // same name never take the same trash name.
  std::string trashName, info;
  int fd = -1;
  for (int n = 1; fd < 0 && n < 10000; ++n) {
    trashName = TrashName(name, n);
    struct stat taken {};
    if (::lstat((trash + "/files/" + trashName).c_str(), &taken) == 0) continue;
    info = trash + "/info/" + trashName + ".trashinfo";
    fd = ::open(info.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd < 0 && errno != EEXIST) return false;
  }
  if (fd < 0) return false;
  const std::time_t now = std::time(nullptr);
  struct tm local {};
  char date[32];
  ::localtime_r(&now, &local);
  std::strftime(date, sizeof date, "%Y-%m-%dT%H:%M:%S", &local);
  const std::string text = "[Trash Info]\nPath=" + PercentEncodedPath(infoPath) + "\nDeletionDate=" + date + "\n";
  bool ok = WriteAllTo(fd, text);
  ok = ::close(fd) == 0 && ok;
  ok = ok && ::rename(path.c_str(), (trash + "/files/" + trashName).c_str()) == 0;
  if (!ok) {
    const int saved = errno;
    ::unlink(info.c_str());
    errno = saved;
  }
  return ok;
}

}  // namespace zel
