#include "ArchiveTestSupport.h"

#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "Archive/CArchiveLogger.h"
#include "core/Singleton.h"
#include "recording/CKlRecordFileHdr.h"

namespace archtest {

void MakeRecording(const std::string& path, int32_t startTime, size_t audioBytes, const std::string& comment) {
  std::filesystem::remove(path);
  CKlRecordFileHdr header;
  header.SetStartTime(startTime);
  header.SetDuration(static_cast<uint32_t>(audioBytes / 8000));
  header.SetComment(comment);
  header.SaveHeader(path);
  std::ofstream out(path, std::ios::binary | std::ios::app);
  std::string audio(audioBytes, '\x55');
  out.write(audio.data(), static_cast<std::streamsize>(audio.size()));
}

void SetMtime(const std::string& path, int64_t time) {
  struct timeval times[2];
  times[0].tv_sec = static_cast<time_t>(time);
  times[0].tv_usec = 0;
  times[1] = times[0];
  ::utimes(path.c_str(), times);
}

void MakeDirs(const std::string& path) { std::filesystem::create_directories(path); }

int64_t FileSizeOf(const std::string& path) {
  struct stat info {};
  return ::stat(path.c_str(), &info) == 0 ? static_cast<int64_t>(info.st_size) : -1;
}

int64_t Utc(int year, int month, int day, int hour, int minute, int second) {
  struct tm parts {};
  parts.tm_year = year - 1900;
  parts.tm_mon = month - 1;
  parts.tm_mday = day;
  parts.tm_hour = hour;
  parts.tm_min = minute;
  parts.tm_sec = second;
  return static_cast<int64_t>(timegm(&parts));
}

std::vector<int> RunProcessesAtOnce(int count, const std::function<int(int)>& child) {
  int go[2];
  if (::pipe(go) != 0) return {};
  std::vector<pid_t> children;
  for (int i = 0; i < count; ++i) {
    pid_t pid = ::fork();
    if (pid == 0) {
      ::close(go[1]);
      char byte;
      (void)!::read(go[0], &byte, 1);  // end of file once the parent closes its side
      ::_exit(child(i));
    }
    children.push_back(pid);
  }
  ::close(go[0]);
  ::close(go[1]);
  std::vector<int> codes;
  for (pid_t pid : children) {
    int status = 0;
    bool exited = pid > 0 && ::waitpid(pid, &status, 0) == pid && WIFEXITED(status);
    codes.push_back(exited ? WEXITSTATUS(status) : -1);
  }
  return codes;
}

void ResetProcessLog() {
  auto log = Singleton<CArchiveLogger>::Instance();
  log->Clear();
  std::filesystem::create_directories(std::filesystem::path(log->Path()).parent_path());
  std::filesystem::remove(log->Path());
}

}  // namespace archtest
