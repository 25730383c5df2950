#pragma once
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

// The retention rule: which calls of its source folders are removed once they
// are old enough (by call date) or too short to matter (empty and aborted calls),
// and how (archived first through the scheduled job's archive settings, to the
// desktop trash, or permanently). Kept in "retention.xml" in the shared
// configuration folder; off by default. Calls marked Important, calls in Calls for
// Review and calls on legal hold are never removed. Every removal is written to the
// audit trail and the archive log. Reached as Singleton<CRetention>::Instance().
class CRetention {
 public:
  enum class Action { kArchive, kTrash, kDelete };
  struct Settings {
    bool Enabled = false;
    int OlderThanDays = 0;       // 0: no age rule
    int ShorterThanSeconds = 0;  // 0: no length rule
    Action How = Action::kArchive;  // the "Action" key
    std::vector<std::string> Folders;
  };
  // One call the rule looked at.
  struct Item {
    std::string Path;
    std::string Caller;
    std::string Why;         // which rule selects it: "older than 30 days", ...
    std::string KeptBecause; // empty: it goes; else why it stays
    bool Removed = false;    // after Run: it left
    std::string Problem;     // after Run: why removing it failed
  };
  struct Result {
    std::vector<Item> Items;   // the selected calls, gone or kept
    int Removed = 0;
    int Failed = 0;
    std::string Problem;       // why nothing ran (e.g. no archive method)
  };

  CRetention();
  explicit CRetention(std::string path);
  ~CRetention();

  // Reads the file; a missing file keeps the defaults (false), a damaged one is set aside.
  bool Load();
  bool Save();
  Settings GetSettings();
  void SetSettings(const Settings& settings);
  // Sets Enabled, OlderThanDays, ShorterThanSeconds or Action from text; an empty
  // text, or why the value was refused.
  std::string SetValue(const std::string& key, const std::string& value);
  bool AddFolder(const std::string& folder);
  bool RemoveFolder(const std::string& folder);

  // What a run at `now` would remove and why, and what it keeps; touches nothing.
  Result Preview(int64_t now);
  // Removes what Preview selects (each call's hold checked again just before).
  // The archive action runs an archive job and waits for it: not on a window's thread.
  Result Run(int64_t now);
  // Runs the rule on a thread of its own when it is enabled (after the scheduled
  // archive job in the desktop program); a run still going is waited for first.
  void RunInBackground();

  static const char* ActionName(Action action);
  static bool ActionFromName(const std::string& name, Action& action);
  const std::string& Path() const { return path_; }

 private:
  void RemoveDirectly(Result& result, Action action, const Settings& settings);
  void RemoveByArchiving(Result& result, const Settings& settings);

  std::mutex mutex_;
  std::mutex runMutex_;  // one run at a time
  std::string path_;
  Settings settings_;
  std::thread background_;
};
