#include "recording/CommentText.h"

namespace zel {

std::string UserCommentText(const std::string& comment) { return std::string(UserCommentView(comment)); }

std::string_view UserCommentView(std::string_view text) {
  // The recorder's own texts: "Bookmark at: " HH:MM:SS CRLF, and the block that
  // begins with the line below and runs to the end of the field.
  static constexpr std::string_view kBookmarkLead = "Bookmark at: ";
  static constexpr std::string_view kSystemLine = "### System information do no edit! ###";
  if (text.substr(0, kBookmarkLead.size()) == kBookmarkLead) {
    const size_t lineEnd = text.find("\r\n");
    text.remove_prefix(lineEnd == std::string_view::npos ? text.size() : lineEnd + 2);
  }
  const size_t system = text.find(kSystemLine);
  if (system != std::string_view::npos) text = text.substr(0, system);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\r' || text.back() == '\n')) text.remove_suffix(1);
  return text;
}

}  // namespace zel
