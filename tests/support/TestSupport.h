#pragma once
#include <memory>
#include <string>
#include <vector>

#include "core/MessageSink.h"

// Helpers shared by the test programs.
namespace zeltest {

// A fresh folder under $TMPDIR (or /tmp), removed with everything in it at the end.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::string& path() const { return path_; }
  // path() + "/" + name
  std::string File(const std::string& name) const;

 private:
  std::string path_;
};

// Sets an environment variable for the lifetime of the object.
class ScopedEnv {
 public:
  ScopedEnv(const std::string& name, const std::string& value);
  ~ScopedEnv();
  ScopedEnv(const ScopedEnv&) = delete;
  ScopedEnv& operator=(const ScopedEnv&) = delete;

 private:
  std::string name_;
  std::string old_;
  bool hadOld_;
};

// Points XDG_CONFIG_HOME and XDG_DATA_HOME into a temporary folder.
class XdgSandbox {
 public:
  XdgSandbox();
  std::string ConfigHome() const { return dir_.File("config"); }
  std::string DataHome() const { return dir_.File("data"); }
  const TempDir& dir() const { return dir_; }

 private:
  TempDir dir_;
  ScopedEnv config_;
  ScopedEnv data_;
};

// A message sink that records what it is shown; questions are answered No.
class RecordingSink : public IMessageSink {
 public:
  void ShowMessage(const std::string& text, const std::string&, Icon) override {
    messages.push_back(text);
  }
  Answer AskYesNo(const std::string& text, const std::string&) override {
    messages.push_back(text);
    return Answer::No;
  }
  std::vector<std::string> messages;
};

// Installs a RecordingSink for the lifetime of the object.
class ScopedMessages {
 public:
  ScopedMessages() : sink_(std::make_shared<RecordingSink>()) { zel::SetMessageSink(sink_); }
  ~ScopedMessages() { zel::SetMessageSink(nullptr); }
  const std::vector<std::string>& messages() const { return sink_->messages; }

 private:
  std::shared_ptr<RecordingSink> sink_;
};

struct CommandResult {
  int exitCode = -1;
  std::string out;  // standard output
  std::string err;  // standard error
};

// Runs `command` through /bin/sh and collects its output.
CommandResult RunShell(const std::string& command);
// Runs the zelctl built beside the tests with the given arguments (shell-quoted here).
CommandResult RunZelctl(const std::vector<std::string>& arguments, const std::string& envPrefix = "");
// True when `tool` is found on PATH.
bool ToolAvailable(const std::string& tool);
std::string ShellQuote(const std::string& text);

std::string ReadFile(const std::string& path);
void WriteFile(const std::string& path, const std::string& content);
bool FileExists(const std::string& path);

}  // namespace zeltest
