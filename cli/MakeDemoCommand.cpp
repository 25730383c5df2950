#include "cli/MakeDemoCommand.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <string>
#include <vector>

#include "cli/CliSupport.h"
#include "codec/SampleRate.h"
#include "core/AtomicFile.h"
#include "platform/Desktop.h"
#include "recording/CRecordingWriter.h"

ZEL_REGISTER_COMMAND(MakeDemoCommand);

namespace {

constexpr const char* kDefaultPassphrase = "Velomar-Demo-2026";

// What the two sides of the sample calls say, one voice each.
const char* const kAgentLines[] = {
    "Good morning, customer service, how can I help you?",
    "Let me look that up for you. Could you give me the order number, please?",
    "Thank you. I can see the delivery was planned for Thursday.",
    "I am sorry about the delay. I will send a replacement today.",
    "Is there anything else I can do for you?",
    "Thank you for calling, goodbye.",
};
const char* const kCallerLines[] = {
    "Hello, I am calling about my order from last week.",
    "Yes, the number is four seven one one, two zero two six.",
    "It still has not arrived, and I need it by the weekend.",
    "That would be great. Will it come by courier?",
    "No, that is all. Thank you very much.",
    "Could you also confirm the invoice address for me?",
};

struct DemoCall {
  const char* user;
  const char* caller;
  const char* comment;
  uint32_t version;
  int32_t formatTag;
  int seconds;
  double daysAgo;  // how long before now the call began
  int hour, minute;
  uint32_t important;
  int bookmarkStart, bookmarkEnd;
  bool encrypted;
};

const DemoCall kCalls[] = {
    {"4711", "+49 30 1234567", "Order confirmed, delivery Thursday", 4, 6, 25, 0, 9, 12, 0, -1, -1, false},
    {"4711", "Müller GmbH", "Invoice question – call back Monday", 2, 7, 40, 1, 10, 15, 1, -1, -1, false},
    {"4712", "+44 20 7946 0958", "Complaint about late delivery", 4, 17, 65, 2, 14, 3, 0, 12, 31, false},
    {"4712", "0800 555 0199", "Long support call; key part bookmarked", 4, 49, 130, 3, 16, 45, 1, 40, 75, false},
    {"4713", "Anonymous", "", 3, 49, 12, 40, 11, 30, 0, -1, -1, false},
    {"4713", "+33 1 70 18 99 00", "", 1, 6, 8, 200, 8, 5, 0, -1, -1, false},
    {"4711", "Dr. Schäfer", "Confidential: contract terms", 5, 49, 20, 1.5, 15, 20, 1, 3, 9, true},
    {"4714", "+1 212 555 0142", "Price enquiry", 4, 7, 34, 400, 13, 0, 0, -1, -1, false},
    {"4714", "Reception", "Room booking for 12 people", 2, 17, 18, 95, 9, 50, 0, 2, 7, false},
};

bool ToolOnPath(const char* tool) {
  bool executable = false;
  return !zel::FindProgramOnPath(tool, &executable).empty() && executable;
}

// One line spoken by espeak-ng and brought to telephone sound with sox; empty when
// either tool fails.
std::vector<int16_t> Speak(const std::string& folder, const std::string& text, const char* voice,
                           int index) {
  std::string wav = folder + "/line" + std::to_string(index) + ".wav";
  std::string raw = folder + "/line" + std::to_string(index) + ".raw";
  std::vector<int16_t> samples;
  if (zel::RunProgram({"espeak-ng", "-v", voice, "-s", "155", "-w", wav, text}, nullptr, true) != 0 ||
      zel::RunProgram({"sox", wav, "-r", std::to_string(zel::kSamplesPerSecond), "-c", "1", "-b", "16", "-e", "signed-integer", "-L", "-t",
                       "raw", raw, "highpass", "300", "lowpass", "3400"},
                      nullptr, true) != 0) {
    return samples;
  }
  std::string bytes;
  if (!zel::ReadWholeFile(raw, bytes)) return samples;
  samples.resize(bytes.size() / 2);
  for (size_t i = 0; i < samples.size(); ++i) {
    samples[i] = static_cast<int16_t>(static_cast<uint8_t>(bytes[2 * i]) |
                                      (static_cast<uint8_t>(bytes[2 * i + 1]) << 8));
  }
  return samples;
}

// A conversation of `seconds`: the lines in turn with pauses of line noise, from
// `first` on, repeated when the call is longer than the script.
std::vector<int16_t> Conversation(const std::vector<std::vector<int16_t>>& lines, size_t first,
                                  int seconds) {
  size_t total = static_cast<size_t>(seconds) * zel::kSamplesPerSecond;
  std::vector<int16_t> out;
  out.reserve(total);
  uint32_t noise = 12345u + static_cast<uint32_t>(first);
  auto pause = [&](size_t n) {
    for (size_t i = 0; i < n && out.size() < total; ++i) {
      noise = noise * 1103515245u + 12345u;
      out.push_back(static_cast<int16_t>(static_cast<int>((noise >> 16) % 61) - 30));
    }
  };
  pause(2400);
  for (size_t k = first; out.size() < total; ++k) {
    const std::vector<int16_t>& line = lines[k % lines.size()];
    for (int16_t s : line) {
      if (out.size() >= total) break;
      out.push_back(s);
    }
    pause(3200 + (k % 3) * 1600);
  }
  return out;
}

// The script's lines spoken by espeak-ng when `speech` (cleared when that fails), else
// formant tones.
std::vector<std::vector<int16_t>> VoiceLines(bool& speech) {
  std::vector<std::vector<int16_t>> lines;
  if (speech) {
    std::string pattern = zel::TempFolder() + "zel-demo-XXXXXX";
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    if (::mkdtemp(name.data()) != nullptr) {
      std::string work = name.data();
      size_t count = sizeof(kAgentLines) / sizeof(kAgentLines[0]);
      for (size_t i = 0; i < count && speech; ++i) {
        std::vector<int16_t> agent = Speak(work, kAgentLines[i], "en+f3", static_cast<int>(2 * i));
        std::vector<int16_t> caller = Speak(work, kCallerLines[i], "en+m3", static_cast<int>(2 * i + 1));
        if (agent.empty() || caller.empty()) speech = false;
        lines.push_back(std::move(agent));
        lines.push_back(std::move(caller));
      }
      std::error_code ignored;
      std::filesystem::remove_all(work, ignored);
    } else {
      speech = false;
    }
  }
  if (!speech) {
    lines.clear();
    for (uint32_t i = 0; i < 12; ++i) {
      lines.push_back(CRecordingWriter::SynthesizeVoice(zel::kSamplesPerSecond * (4 + i % 4) / 4, 100 + i));
    }
  }
  return lines;
}

// The local wall-clock time of the call `call` (the `index`th), days before `now`;
// a call time of today that is still to come is taken from yesterday.
std::tm CallTime(const DemoCall& call, size_t index, std::time_t now) {
  std::time_t when = now - static_cast<std::time_t>(call.daysAgo * 86400.0);
  std::tm local{};
  for (int attempt = 0; attempt < 2; ++attempt, when -= 86400) {
    ::localtime_r(&when, &local);
    local.tm_hour = call.hour;
    local.tm_min = call.minute;
    local.tm_sec = static_cast<int>(index * 7 % 60);
    local.tm_isdst = -1;
    std::tm probe = local;
    if (std::mktime(&probe) <= now) break;
  }
  return local;
}

// Writes the `index`th sample call into `folder`; false (with a message) on failure.
bool WriteCall(const std::string& folder, const DemoCall& call, size_t index, std::time_t now,
               const std::vector<std::vector<int16_t>>& lines, const std::string& passphrase) {
  // Wall-clock times: the device names files and stores start times in local time.
  std::tm local = CallTime(call, index, now);
  char stamp[32];
  std::snprintf(stamp, sizeof stamp, "%04d%02d%02d %02d%02d%02d", local.tm_year + 1900, local.tm_mon + 1,
                local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec);
  std::string path = folder + "/" + call.user + "-" + stamp + ".zel";

  RecordingDescription d;
  d.version = call.version;
  d.formatTag = call.formatTag;
  d.callerId = call.caller;
  d.comment = call.comment;
  d.userId = call.user;
  d.important = call.important;
  d.startTime = static_cast<int32_t>(::timegm(&local));
  d.bookmarkStart = call.bookmarkStart;
  d.bookmarkEnd = call.bookmarkEnd;
  d.auxDuration = static_cast<uint32_t>(call.seconds + 6);  // ringing included
  d.auxCode = 0;
  if (call.encrypted) {
    d.passphrase = passphrase;
    d.keySizeCode = 0;
  }
  std::vector<int16_t> pcm = Conversation(lines, index * 3, call.seconds);
  if (!CRecordingWriter::Write(path, d, pcm.data(), pcm.size())) {
    zel::cli::PrintError("cannot write " + path);
    return false;
  }
  std::printf("%s\n", zel::cli::Visible(path).c_str());
  return true;
}

}  // namespace

std::vector<OptionSpec> MakeDemoCommand::Options() const {
  std::vector<OptionSpec> options = zel::cli::PassphraseOptions();
  options.push_back({"synthetic", 0});
  return options;
}

int MakeDemoCommand::Execute(const ArgParser& parser) {
  std::string passphrase = kDefaultPassphrase;
  if (parser.Has("passphrase") || parser.Has("passphrase-file")) {
    std::optional<std::string> given = zel::cli::ResolvePassphrase(parser);
    if (!given) return zel::cli::kExitFailure;
    if (given->empty()) return UsageError("the passphrase must not be empty");
    passphrase = *given;
  }
  const std::string folder = parser.Positional()[0];
  std::error_code error;
  std::filesystem::create_directories(folder, error);
  if (error || !std::filesystem::is_directory(folder, error)) {
    zel::cli::PrintError("cannot create folder " + folder);
    return zel::cli::kExitFailure;
  }
  // Speech from espeak-ng when it and sox are there, else formant tones.
  bool speech = !parser.Has("synthetic") && ToolOnPath("espeak-ng") && ToolOnPath("sox");
  std::vector<std::vector<int16_t>> lines = VoiceLines(speech);
  std::time_t now = std::time(nullptr);
  int failures = 0;
  for (size_t index = 0; index < sizeof(kCalls) / sizeof(kCalls[0]); ++index) {
    if (!WriteCall(folder, kCalls[index], index, now, lines, passphrase)) ++failures;
  }
  std::printf("passphrase of the encrypted recording: %s\n", passphrase.c_str());
  if (!speech && !parser.Has("synthetic")) {
    std::fprintf(stderr, "zelctl make-demo: espeak-ng or sox missing; used synthetic voices\n");
  }
  return failures == 0 ? zel::cli::kExitOk : zel::cli::kExitFailure;
}
