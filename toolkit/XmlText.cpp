#include "toolkit/XmlText.h"

namespace zel {

std::string EscapeXmlText(const std::string& text) {
  std::string out;
  out.reserve(text.size());
  for (char c : text) {
    switch (c) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '\r': out += "&#13;"; break;  // a reader turns a raw CR into a line feed
      default: out += c; break;
    }
  }
  return out;
}

}  // namespace zel
