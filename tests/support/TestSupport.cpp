#include "support/TestSupport.h"

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace zeltest {

TempDir::TempDir() {
  const char* base = std::getenv("TMPDIR");
  std::string pattern = std::string(base != nullptr && base[0] != '\0' ? base : "/tmp") +
                        "/zeltest-XXXXXX";
  if (::mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
  path_ = pattern;
}

TempDir::~TempDir() {
  std::error_code ec;
  // Make read-only test folders removable again.
  for (auto it = std::filesystem::recursive_directory_iterator(
           path_, std::filesystem::directory_options::skip_permission_denied, ec);
       it != std::filesystem::recursive_directory_iterator(); it.increment(ec)) {
    if (it->is_directory(ec)) ::chmod(it->path().c_str(), 0755);
  }
  ::chmod(path_.c_str(), 0755);
  std::filesystem::remove_all(path_, ec);
}

std::string TempDir::File(const std::string& name) const { return path_ + "/" + name; }

ScopedEnv::ScopedEnv(const std::string& name, const std::string& value) : name_(name) {
  const char* old = std::getenv(name.c_str());
  hadOld_ = old != nullptr;
  if (hadOld_) old_ = old;
  ::setenv(name.c_str(), value.c_str(), 1);
}

ScopedEnv::~ScopedEnv() {
  if (hadOld_) {
    ::setenv(name_.c_str(), old_.c_str(), 1);
  } else {
    ::unsetenv(name_.c_str());
  }
}

XdgSandbox::XdgSandbox()
    : config_("XDG_CONFIG_HOME", dir_.File("config")), data_("XDG_DATA_HOME", dir_.File("data")) {}

std::string ShellQuote(const std::string& text) {
  std::string out = "'";
  for (char c : text) {
    if (c == '\'') {
      out += "'\\''";
    } else {
      out += c;
    }
  }
  return out + "'";
}

CommandResult RunShell(const std::string& command) {
  TempDir dir;
  std::string full = "( " + command + " ) >" + dir.File("out") + " 2>" + dir.File("err");
  int status = std::system(full.c_str());
  CommandResult result;
  result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  result.out = ReadFile(dir.File("out"));
  result.err = ReadFile(dir.File("err"));
  return result;
}

CommandResult RunZelctl(const std::vector<std::string>& arguments, const std::string& envPrefix) {
  std::string command = envPrefix;
  command += ' ';
  command += ShellQuote(ZELCTL_PATH);
  for (const auto& arg : arguments) command += " " + ShellQuote(arg);
  return RunShell(command + " </dev/null");
}

bool ToolAvailable(const std::string& tool) {
  return RunShell("command -v " + ShellQuote(tool)).exitCode == 0;
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream content;
  content << in.rdbuf();
  return content.str();
}

void WriteFile(const std::string& path, const std::string& content) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << content;
}

bool FileExists(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0;
}

}  // namespace zeltest

namespace {

// Every test program runs with its own XDG folders, so that nothing a test does (the
// log of the singletons, settings, collections) touches the real user's files.
class ProcessXdgFolders {
 public:
  ProcessXdgFolders() {
    // A test that starts this program as a child sets its own folders.
    if (std::getenv("ZELTEST_KEEP_XDG") != nullptr) return;
    const char* base = std::getenv("TMPDIR");
    std::string pattern = std::string(base != nullptr && base[0] != '\0' ? base : "/tmp") +
                          "/zeltest-proc-XXXXXX";
    if (::mkdtemp(pattern.data()) == nullptr) return;
    path_ = pattern;
    ::setenv("XDG_CONFIG_HOME", (path_ + "/config").c_str(), 1);
    ::setenv("XDG_DATA_HOME", (path_ + "/data").c_str(), 1);
  }
  ~ProcessXdgFolders() {
    std::error_code ec;
    if (!path_.empty()) std::filesystem::remove_all(path_, ec);
  }

 private:
  std::string path_;
};

const ProcessXdgFolders g_processXdgFolders;

}  // namespace
