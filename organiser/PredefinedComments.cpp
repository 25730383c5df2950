#include "organiser/PredefinedComments.h"

#include <sys/stat.h>

#include <fstream>

#include "core/Folders.h"

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
  struct stat st;
  if (::stat(path.c_str(), &st) != 0) return BuiltInComments();
  std::ifstream file(path, std::ios::binary);
  if (!S_ISREG(st.st_mode) || !file) return {};
  std::vector<std::string> lines;
  std::string line;
  while (std::getline(file, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (!line.empty()) lines.push_back(line);
  }
  if (lines.empty()) return BuiltInComments();
  return lines;
}

}  // namespace zel
