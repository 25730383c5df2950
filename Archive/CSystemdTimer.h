#pragma once
#include <cstdint>
#include <string>
#include <vector>

// The systemd user timer and service that run the scheduled archive job while
// the desktop program is closed. The timer fires every day at the schedule's
// time of day (local time) and catches up a run missed while the machine was off;
// the service runs "zelctl schedule run --if-due", so the scheduler's own due
// rule decides about intervals of more than one day.
class CSystemdTimer {
 public:
  static constexpr const char* kTimerName = "zel-velomar-archive.timer";
  static constexpr const char* kServiceName = "zel-velomar-archive.service";

  // `zelctl`: the absolute path of the program the service runs. `timeOfDay`:
  // seconds after local midnight at which the timer fires.
  CSystemdTimer(std::string zelctl, int timeOfDay);

  // The local time of day (seconds after midnight) of a moment.
  static int TimeOfDayOf(int64_t time);
  // The user unit folder: $XDG_CONFIG_HOME/systemd/user, else ~/.config/systemd/user.
  static std::string UserUnitFolder();

  // Variables the service sets for the run, e.g. the configuration folders the
  // schedule was made in; values are quoted here.
  void AddEnvironment(const std::string& name, const std::string& value);

  std::string TimerText() const;
  std::string ServiceText() const;
  // "*-*-* HH:MM:SS".
  std::string OnCalendar() const;

  // Writes both units into `folder` (made when missing), each atomically. Empty
  // on success, else why not (nothing half-written is left; nothing is written
  // for a program path systemd would refuse).
  std::string Write(const std::string& folder) const;
  // Removes both units from `folder`; empty on success (also when they were not
  // there), else why not.
  static std::string Remove(const std::string& folder);

  // What Install and Uninstall came to.
  enum class Outcome {
    kDone,
    kNotEnabled,  // the units are written (or removed) but systemd did not take the change
    kFailed,      // the units could not be written (or removed)
  };
  // Writes the units for a job due at `when` (its time of day counts) run by
  // `zelctl`, with the configuration folders of this process, then reloads
  // systemd and enables the timer. `message` says what went wrong, if anything.
  static Outcome Install(const std::string& zelctl, int64_t when, std::string& message);
  // Disables the timer and removes both units; kDone also when none was installed.
  static Outcome Uninstall(std::string& message);
  // True when the timer unit is in the user unit folder.
  static bool Installed();

  // `systemctl --user` with `arguments` (ZEL_SYSTEMCTL replaces the program, for
  // tests and unusual systems). The exit status; 127 when it cannot run.
  static int Systemctl(const std::vector<std::string>& arguments);

  // Quoted for the program of an ExecStart= line or an Environment= line: in
  // double quotes, with "\", "\"", "%" and every control character escaped. "$"
  // stays: systemd takes the program word and Environment= values literally
  // ("$$" would name another program).
  static std::string Quote(const std::string& word);

 private:
  std::string zelctl_;
  int timeOfDay_;
  std::vector<std::string> environment_;
};
