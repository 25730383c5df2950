#pragma once
// A private PulseAudio daemon with a null sink "zeltest" for the sound tests: own
// runtime folder, own socket, started before Qt looks for devices and stopped at the
// end. Tests skip (with the reason) when no daemon can be started.
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "support/TestSupport.h"

namespace zeltest {

// Starts a program in the background with its output sent to `logPath`.
inline pid_t SpawnBackground(const std::vector<std::string>& argv, const std::string& logPath) {
  std::vector<char*> args;
  for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  pid_t pid = ::fork();
  if (pid == 0) {
    FILE* log = std::fopen(logPath.c_str(), "w");
    if (log != nullptr) {
      ::dup2(fileno(log), STDOUT_FILENO);
      ::dup2(fileno(log), STDERR_FILENO);
    }
    ::execvp(args[0], args.data());
    ::_exit(127);
  }
  return pid;
}

inline void StopBackground(pid_t pid, int signal = SIGTERM) {
  if (pid <= 0) return;
  ::kill(pid, signal);
  for (int i = 0; i < 100; ++i) {
    int status = 0;
    if (::waitpid(pid, &status, WNOHANG) == pid) return;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  ::kill(pid, SIGKILL);
  ::waitpid(pid, nullptr, 0);
}

class PulseServer {
 public:
  PulseServer() = default;
  ~PulseServer() { Stop(); }

  // Starts the daemon and points this process's environment at it. False (with
  // Error()) when pulseaudio is missing or does not come up.
  bool Start() {
    if (!ToolAvailable("pulseaudio") || !ToolAvailable("pactl")) {
      error_ = "pulseaudio or pactl is not installed";
      return false;
    }
    std::string runtime = dir_.File("runtime");
    RunShell("mkdir -p " + ShellQuote(runtime) + " " + ShellQuote(dir_.File("home")) +
             " && chmod 700 " + ShellQuote(runtime));
    socket_ = runtime + "/native";
    ::setenv("HOME", dir_.File("home").c_str(), 1);
    ::setenv("XDG_RUNTIME_DIR", runtime.c_str(), 1);
    ::setenv("PULSE_RUNTIME_PATH", runtime.c_str(), 1);
    ::setenv("PULSE_STATE_PATH", dir_.File("home").c_str(), 1);
    ::setenv("PULSE_SERVER", ("unix:" + socket_).c_str(), 1);
    ::unsetenv("DISPLAY");
    pid_ = SpawnBackground(
        {"pulseaudio", "-n", "--daemonize=no", "--system=false", "--exit-idle-time=-1",
         "--disallow-exit", "--use-pid-file=no", "--log-target=stderr", "-L",
         "module-null-sink sink_name=zeltest", "-L",
         "module-native-protocol-unix socket=" + socket_ + " auth-anonymous=1", "-L",
         "module-always-sink"},
        dir_.File("pulse.log"));
    for (int i = 0; i < 100; ++i) {
      if (RunShell("pactl info").exitCode == 0) {
        RunShell("pactl set-default-sink zeltest");
        // While idle the null sink renders up to two seconds ahead of the clock, which
        // would delay the first sound by that much. A silent low-latency stream keeps
        // it in step, as a sound card would be; give the sink time to drain.
        keepAlive_ = SpawnBackground({"pacat", "--rate=8000", "--channels=1", "--format=s16le",
                                      "--latency-msec=20", "/dev/zero"},
                                     dir_.File("pacat.log"));
        std::this_thread::sleep_for(std::chrono::milliseconds(2500));
        return true;
      }
      int status = 0;
      if (::waitpid(pid_, &status, WNOHANG) == pid_) {
        pid_ = -1;
        break;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    error_ = "pulseaudio did not start: " + ReadFile(dir_.File("pulse.log"));
    Stop();
    return false;
  }
  void Stop() {
    StopBackground(keepAlive_);
    keepAlive_ = -1;
    StopBackground(pid_);
    pid_ = -1;
  }
  const std::string& Error() const { return error_; }
  const TempDir& dir() const { return dir_; }

 private:
  TempDir dir_;
  pid_t pid_ = -1;
  pid_t keepAlive_ = -1;
  std::string socket_;
  std::string error_;
};

}  // namespace zeltest
