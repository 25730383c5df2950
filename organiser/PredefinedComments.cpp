#include "organiser/PredefinedComments.h"

#include <algorithm>
#include <sstream>

#include "core/Folders.h"
#include "core/RegularFile.h"

namespace zel {

const std::vector<std::string>& BuiltInComments() {
  static const std::vector<std::string> phrases = {
      "Product Interest", "Verbal Quote",   "Very Interested", "** Sale **",     "Callback Again",  "Promised To Pay",
      "Abusive Call!",    "Complaint",      "Order Detail",    "Address Detail", "Private Call",    "Follow Up",
      "Interview",        "Charge Client",  "Dictation",       "Great Sales Technique"};
  return phrases;
}

std::string PredefinedCommentsPath() {
  std::string folder = GetConfigurationFolder(true);
  if (!folder.empty() && folder.back() != '/') folder += '/';
  return folder + "Comments.txt";
}

std::vector<std::string> ReadPredefinedComments(const std::string& path) {
  // A FIFO there would freeze the dialog, and a huge file is nobody's phrase list.
  std::string content;
  DataFileRead read = ReadDataFile(path, content, kMaxPredefinedCommentsSize);
  if (read == DataFileRead::Missing) return BuiltInComments();
  if (read != DataFileRead::Ok) return {};
  std::vector<std::string> lines;
  std::istringstream file(content);
  for (std::string line; std::getline(file, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    bool text = std::none_of(line.begin(), line.end(), [](char c) {
      auto byte = static_cast<unsigned char>(c);
      return (byte < 0x20 && c != '\t') || byte == 0x7f;
    });
    if (!line.empty() && text) lines.push_back(line);
  }
  if (lines.empty()) return BuiltInComments();
  return lines;
}

}  // namespace zel
