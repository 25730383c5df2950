#pragma once
#include <sys/stat.h>
#include <sys/time.h>

#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "core/MessageSink.h"
#include "support/TestSupport.h"

// Helpers for the organiser tests: recording files written byte by byte, a
// message sink that records, and an in-memory collection tree.
namespace orgtest {

struct Recording {
  std::string userId = "4711";
  std::string callerId = ">0123456";
  std::string comment;
  int32_t startTime = 1700000000;
  uint32_t duration = 65;
  uint32_t important = 0;
  size_t audioBytes = 64;
  long long modificationTime = -1;  // left as created when negative
};

inline void PutU32(std::string& record, size_t offset, uint32_t value) {
  for (int i = 0; i < 4; ++i) record[offset + i] = static_cast<char>((value >> (8 * i)) & 0xFF);
}
inline void PutText(std::string& record, size_t offset, size_t size, const std::string& text) {
  std::memcpy(&record[offset], text.data(), std::min(text.size(), size - 1));
}

// A version-4 recording: the 1440-byte header, then `audioBytes` of A-law silence.
inline void WriteRecording(const std::string& path, const Recording& r = Recording()) {
  std::string record(1440, '\0');
  PutU32(record, 0, 4);
  PutU32(record, 4, 1440);
  PutU32(record, 8, 6);
  PutU32(record, 12, r.important);
  PutText(record, 16, 128, r.callerId);
  PutText(record, 144, 1024, r.comment);
  PutU32(record, 1168, static_cast<uint32_t>(r.startTime));
  PutU32(record, 1172, r.duration);
  PutText(record, 1180, 128, r.userId);
  PutU32(record, 1308, 0xFFFFFFFFu);
  PutText(record, 1312, 120, "Unknown");
  record.append(r.audioBytes, static_cast<char>(0xD5));
  zeltest::WriteFile(path, record);
  if (r.modificationTime >= 0) {
    struct timeval times[2];
    times[0].tv_sec = times[1].tv_sec = static_cast<time_t>(r.modificationTime);
    times[0].tv_usec = times[1].tv_usec = 0;
    utimes(path.c_str(), times);
  }
}

struct Message {
  std::string text;
  IMessageSink::Icon icon;
};

// Records the messages while installed.
class RecordingSink : public IMessageSink {
 public:
  void ShowMessage(const std::string& text, const std::string&, Icon icon) override {
    messages.push_back({text, icon});
  }
  Answer AskYesNo(const std::string&, const std::string&) override { return Answer::No; }
  std::vector<Message> messages;
};

class ScopedSink {
 public:
  ScopedSink() : sink_(std::make_shared<RecordingSink>()) { zel::SetMessageSink(sink_); }
  ~ScopedSink() { zel::SetMessageSink(nullptr); }
  std::vector<Message>& messages() { return sink_->messages; }

 private:
  std::shared_ptr<RecordingSink> sink_;
};

}  // namespace orgtest
