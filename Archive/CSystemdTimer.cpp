#include "Archive/CSystemdTimer.h"

#include <sys/wait.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <system_error>

#include "core/AtomicFile.h"

CSystemdTimer::CSystemdTimer(std::string zelctl, int timeOfDay)
    : zelctl_(std::move(zelctl)), timeOfDay_(((timeOfDay % 86400) + 86400) % 86400) {}

int CSystemdTimer::TimeOfDayOf(int64_t time) {
  time_t t = static_cast<time_t>(time);
  struct tm local {};
  localtime_r(&t, &local);
  return local.tm_hour * 3600 + local.tm_min * 60 + local.tm_sec;
}

std::string CSystemdTimer::UserUnitFolder() {
  const char* config = std::getenv("XDG_CONFIG_HOME");
  std::string base;
  if (config != nullptr && config[0] == '/') {
    base = config;
  } else {
    const char* home = std::getenv("HOME");
    base = std::string(home != nullptr ? home : "") + "/.config";
  }
  return base + "/systemd/user";
}

std::string CSystemdTimer::Quote(const std::string& word) {
  std::string out = "\"";
  for (char c : word) {
    auto byte = static_cast<unsigned char>(c);
    if (byte < 0x20 || byte == 0x7f) {
      // systemd reads CR (and others) as the end of a line: any control byte
      // would let a folder name add directives.
      char hex[8];
      std::snprintf(hex, sizeof hex, "\\x%02x", byte);
      out += hex;
      continue;
    }
    if (c == '\\' || c == '"') out += '\\';
    if (c == '%') out += '%';  // a specifier otherwise
    out += c;
  }
  return out + "\"";
}

void CSystemdTimer::AddEnvironment(const std::string& name, const std::string& value) {
  environment_.push_back(Quote(name + "=" + value));
}

std::string CSystemdTimer::OnCalendar() const {
  char text[32];
  std::snprintf(text, sizeof text, "*-*-* %02d:%02d:%02d", timeOfDay_ / 3600, timeOfDay_ / 60 % 60, timeOfDay_ % 60);
  return text;
}

std::string CSystemdTimer::TimerText() const {
  return std::string("[Unit]\n") +
         "Description=Zel Velomar scheduled archive job\n"
         "Documentation=man:zelctl(1)\n"
         "\n"
         "[Timer]\n"
         "OnCalendar=" + OnCalendar() + "\n"
         "Persistent=true\n"
         "Unit=" + kServiceName + "\n"
         "\n"
         "[Install]\n"
         "WantedBy=timers.target\n";
}

std::string CSystemdTimer::ServiceText() const {
  std::string text =
      "[Unit]\n"
      "Description=Zel Velomar scheduled archive job\n"
      "Documentation=man:zelctl(1)\n"
      "\n"
      "[Service]\n"
      "Type=oneshot\n";
  for (const auto& variable : environment_) text += "Environment=" + variable + "\n";
  text += "ExecStart=" + Quote(zelctl_) + " schedule run --if-due --notify\n";
  return text;
}

std::string CSystemdTimer::Write(const std::string& folder) const {
  // systemd refuses to run a program whose path holds these, however quoted.
  for (char c : zelctl_) {
    auto byte = static_cast<unsigned char>(c);
    if (byte < 0x20 || byte == 0x7f || c == '"' || c == '\\' || c == '\'') {
      return "systemd cannot run a program whose path contains control characters, quotes or "
             "backslashes: move zelctl to another folder";
    }
  }
  std::error_code ec;
  std::filesystem::create_directories(folder, ec);
  if (!std::filesystem::is_directory(folder, ec)) {
    return "cannot make the folder " + folder + (ec ? ": " + ec.message() : std::string());
  }
  // The service first: a timer without its service would fail when it fires.
  std::string service = folder + "/" + kServiceName;
  if (!zel::WriteFileAtomically(service, ServiceText())) return "cannot write " + service;
  std::string timer = folder + "/" + kTimerName;
  if (!zel::WriteFileAtomically(timer, TimerText())) {
    std::filesystem::remove(service, ec);
    return "cannot write " + timer;
  }
  return std::string();
}

std::string CSystemdTimer::Remove(const std::string& folder) {
  for (const char* name : {kTimerName, kServiceName}) {
    std::string path = folder + "/" + name;
    std::error_code ec;
    std::filesystem::remove(path, ec);
    if (ec) return "cannot remove " + path + ": " + ec.message();
  }
  return std::string();
}

int CSystemdTimer::Systemctl(const std::vector<std::string>& arguments) {
  const char* program = std::getenv("ZEL_SYSTEMCTL");
  std::string command = program != nullptr && program[0] != '\0' ? program : "systemctl";
  command = "'" + command + "' --user";
  for (const auto& argument : arguments) {
    std::string quoted = "'";
    for (char c : argument) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    command += " " + quoted + "'";
  }
  command += " 1>&2 </dev/null";  // its words go with our own messages, not into --json
  int status = std::system(command.c_str());
  if (status == -1) return 127;
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128;
}

CSystemdTimer::Outcome CSystemdTimer::Install(const std::string& zelctl, int64_t when, std::string& message) {
  CSystemdTimer timer(zelctl, TimeOfDayOf(when));
  // The run must see the schedule and the log that this process sees.
  for (const char* name : {"XDG_CONFIG_HOME", "XDG_DATA_HOME"}) {
    const char* value = std::getenv(name);
    if (value != nullptr && value[0] == '/') timer.AddEnvironment(name, value);
  }
  message = timer.Write(UserUnitFolder());
  if (!message.empty()) return Outcome::kFailed;
  if (Systemctl({"daemon-reload"}) != 0 || Systemctl({"enable", "--now", kTimerName}) != 0) {
    message = std::string("the timer units are written but could not be enabled (is there a systemd user "
                          "session?); enable them with: systemctl --user enable --now ") + kTimerName;
    return Outcome::kNotEnabled;
  }
  return Outcome::kDone;
}

bool CSystemdTimer::Installed() {
  std::error_code ec;
  return std::filesystem::exists(UserUnitFolder() + "/" + kTimerName, ec);
}

CSystemdTimer::Outcome CSystemdTimer::Uninstall(std::string& message) {
  std::string folder = UserUnitFolder();
  std::error_code ec;
  message.clear();
  if (!Installed() && !std::filesystem::exists(folder + "/" + kServiceName, ec)) return Outcome::kDone;
  // Stopped first, while systemd still knows the unit.
  int disabled = Systemctl({"disable", "--now", kTimerName});
  message = Remove(folder);
  if (!message.empty()) return Outcome::kFailed;
  if (disabled != 0 || Systemctl({"daemon-reload"}) != 0) {
    message = "the timer units are removed but systemctl could not disable them (is there a systemd user session?)";
    return Outcome::kNotEnabled;
  }
  return Outcome::kDone;
}
