#include "toolkit/CKlXmlParser.h"

#include <cstring>

#include "core/AtomicFile.h"

const std::string* CKlXmlNode::Attribute(std::string_view attr) const {
  for (const auto& a : attributes) {
    if (a.first == attr) return &a.second;
  }
  return nullptr;
}

const CKlXmlNode* CKlXmlNode::FirstChild(std::string_view child) const {
  for (const auto& c : children) {
    if (c.IsElement() && c.name == child) return &c;
  }
  return nullptr;
}

std::string CKlXmlNode::InnerText() const {
  std::string out;
  for (const auto& c : children) {
    if (c.IsText()) out += c.text;
  }
  return out;
}

const char* CKlXmlParser::ErrorText(int number) {
  switch (number) {
    case kOk: return "No error";
    case kErrUnexpectedEnd: return "Unexpected end of input";
    case kErrBadName: return "Invalid or missing name";
    case kErrBadAttribute: return "Malformed attribute";
    case kErrMismatchedEndTag: return "End tag does not match start tag";
    case kErrUnexpectedEndTag: return "End tag without start tag";
    case kErrUnclosedElement: return "Element not closed";
    case kErrUnterminatedComment: return "Unterminated comment";
    case kErrUnterminatedCdata: return "Unterminated CDATA section";
    case kErrUnterminatedDeclaration: return "Unterminated declaration or processing instruction";
    case kErrNullCharacter: return "Null character in input";
    case kErrTooDeep: return "Elements nested too deeply";
    case kErrReadFile: return "File cannot be read";
    case kErrDuplicateAttribute: return "Duplicate attribute";
    default: return "Unknown error";
  }
}

namespace {

inline bool IsBlank(unsigned char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }
inline bool IsNameStart(unsigned char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_' || c == ':' || c >= 0x80;
}
inline bool IsNameChar(unsigned char c) {
  return IsNameStart(c) || (c >= '0' && c <= '9') || c == '-' || c == '.';
}

bool EqualsNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    unsigned char x = static_cast<unsigned char>(a[i]);
    unsigned char y = static_cast<unsigned char>(b[i]);
    if (x >= 'A' && x <= 'Z') x = static_cast<unsigned char>(x - 'A' + 'a');
    if (y >= 'A' && y <= 'Z') y = static_cast<unsigned char>(y - 'A' + 'a');
    if (x != y) return false;
  }
  return true;
}

void AppendUtf8(std::string& out, unsigned long cp) {
  if (cp < 0x80) {
    out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    out += static_cast<char>(0xC0 | (cp >> 6));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    out += static_cast<char>(0xE0 | (cp >> 12));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (cp >> 18));
    out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  }
}

class Parser {
 public:
  Parser(std::string_view in, const CKlXmlParser::Options& options) : s_(in), options_(options) {}

  bool Run(CKlXmlNode& root) {
    stack_.push_back(&root);
    const size_t n = s_.size();
    while (pos_ < n) {
      const char c = s_[pos_];
      if (c == '<' && pos_ + 1 < n && StartsMarkup(s_[pos_ + 1])) {
        if (!Markup()) return false;
      } else if (c == '&') {
        Entity(pending_);
      } else if (c == '\0') {
        return Fail(CKlXmlParser::kErrNullCharacter);
      } else {
        // A plain run up to the next "<", "&" or NUL (a lone "<" is kept as text).
        size_t end = pos_ + 1;
        while (end < n && s_[end] != '<' && s_[end] != '&' && s_[end] != '\0') ++end;
        pending_.append(s_.data() + pos_, end - pos_);
        pos_ = end;
      }
    }
    FlushText();
    if (stack_.size() > 1) return Fail(CKlXmlParser::kErrUnclosedElement);
    return true;
  }

  int errorNumber = 0;
  size_t errorPos = 0;

 private:
  static bool StartsMarkup(char next) {
    return next == '/' || next == '!' || next == '?' || IsNameStart(static_cast<unsigned char>(next));
  }

  bool Fail(int number) {
    errorNumber = number;
    errorPos = pos_ < s_.size() ? pos_ : s_.size();
    return false;
  }

  void FlushText() {
    if (pending_.empty()) return;
    bool blank = true;
    if (!options_.keepBlankText) {
      for (unsigned char c : pending_) {
        if (!IsBlank(c)) {
          blank = false;
          break;
        }
      }
    }
    if (!blank || options_.keepBlankText) {
      CKlXmlNode node;
      node.kind = CKlXmlNode::Kind::Text;
      node.text = std::move(pending_);
      stack_.back()->children.push_back(std::move(node));
    }
    pending_.clear();
  }

  // At "&": appends the decoded entity, or the "&" itself when it is not one.
  void Entity(std::string& out) {
    const size_t n = s_.size();
    size_t semi = pos_ + 1;
    while (semi < n && semi - pos_ <= 12 && s_[semi] != ';') ++semi;
    if (semi < n && s_[semi] == ';') {
      std::string_view ref = s_.substr(pos_ + 1, semi - pos_ - 1);
      const char* named = nullptr;
      if (ref == "amp") named = "&";
      else if (ref == "lt") named = "<";
      else if (ref == "gt") named = ">";
      else if (ref == "quot") named = "\"";
      else if (ref == "apos") named = "'";
      if (named) {
        out += named;
        pos_ = semi + 1;
        return;
      }
      if (ref.size() >= 2 && ref[0] == '#') {
        unsigned long cp = 0;
        bool hex = ref[1] == 'x' || ref[1] == 'X';
        size_t i = hex ? 2 : 1;
        bool ok = i < ref.size();
        for (; ok && i < ref.size(); ++i) {
          char d = ref[i];
          int v;
          if (d >= '0' && d <= '9') v = d - '0';
          else if (hex && d >= 'a' && d <= 'f') v = d - 'a' + 10;
          else if (hex && d >= 'A' && d <= 'F') v = d - 'A' + 10;
          else {
            ok = false;
            break;
          }
          cp = cp * (hex ? 16 : 10) + static_cast<unsigned long>(v);
          if (cp > 0x10FFFF) ok = false;
        }
        if (ok && cp != 0 && !(cp >= 0xD800 && cp <= 0xDFFF)) {
          AppendUtf8(out, cp);
          pos_ = semi + 1;
          return;
        }
      }
    }
    out += '&';
    ++pos_;
  }

  bool SkipTo(const char* terminator, int error) {
    size_t found = s_.find(terminator, pos_);
    if (found == std::string_view::npos) {
      pos_ = s_.size();
      return Fail(error);
    }
    pos_ = found + std::strlen(terminator);
    return true;
  }

  bool ReadName(std::string_view& name) {
    const size_t start = pos_;
    if (pos_ >= s_.size()) return Fail(CKlXmlParser::kErrUnexpectedEnd);
    if (!IsNameStart(static_cast<unsigned char>(s_[pos_]))) return Fail(CKlXmlParser::kErrBadName);
    while (pos_ < s_.size() && IsNameChar(static_cast<unsigned char>(s_[pos_]))) ++pos_;
    name = s_.substr(start, pos_ - start);
    return true;
  }

  void SkipBlanks() {
    while (pos_ < s_.size() && IsBlank(static_cast<unsigned char>(s_[pos_]))) ++pos_;
  }

  bool Markup() {
    const std::string_view rest = s_.substr(pos_);
    if (rest.starts_with("<!--")) {
      FlushText();
      pos_ += 4;
      return SkipTo("-->", CKlXmlParser::kErrUnterminatedComment);
    }
    if (rest.starts_with("<![CDATA[")) {
      pos_ += 9;
      size_t found = s_.find("]]>", pos_);
      if (found == std::string_view::npos) {
        pos_ = s_.size();
        return Fail(CKlXmlParser::kErrUnterminatedCdata);
      }
      pending_.append(s_.data() + pos_, found - pos_);
      pos_ = found + 3;
      return true;
    }
    if (rest[1] == '?') {
      FlushText();
      pos_ += 2;
      return SkipTo("?>", CKlXmlParser::kErrUnterminatedDeclaration);
    }
    if (rest[1] == '!') {
      // <!DOCTYPE ...> with an optional internal subset in brackets.
      FlushText();
      int brackets = 0;
      for (size_t i = pos_ + 2; i < s_.size(); ++i) {
        char c = s_[i];
        if (c == '[') ++brackets;
        else if (c == ']' && brackets > 0) --brackets;
        else if (c == '>' && brackets == 0) {
          pos_ = i + 1;
          return true;
        }
      }
      pos_ = s_.size();
      return Fail(CKlXmlParser::kErrUnterminatedDeclaration);
    }
    if (rest[1] == '/') return EndTag();
    return StartTag();
  }

  bool EndTag() {
    FlushText();
    const size_t tagPos = pos_;
    pos_ += 2;
    std::string_view name;
    if (!ReadName(name)) return false;
    SkipBlanks();
    if (pos_ >= s_.size()) return Fail(CKlXmlParser::kErrUnexpectedEnd);
    if (s_[pos_] != '>') return Fail(CKlXmlParser::kErrBadName);
    if (stack_.size() <= 1) {
      pos_ = tagPos;
      return Fail(CKlXmlParser::kErrUnexpectedEndTag);
    }
    const std::string& open = stack_.back()->name;
    bool match = options_.ignoreEndTagCase ? EqualsNoCase(open, name) : open == name;
    if (!match) {
      pos_ = tagPos;
      return Fail(CKlXmlParser::kErrMismatchedEndTag);
    }
    ++pos_;
    stack_.pop_back();
    return true;
  }

  bool StartTag() {
    FlushText();
    ++pos_;
    std::string_view name;
    if (!ReadName(name)) return false;
    if (static_cast<int>(stack_.size()) > CKlXmlParser::kMaxDepth) return Fail(CKlXmlParser::kErrTooDeep);
    CKlXmlNode node;
    node.name.assign(name);
    const size_t n = s_.size();
    for (;;) {
      const size_t before = pos_;
      SkipBlanks();
      if (pos_ >= n) return Fail(CKlXmlParser::kErrUnexpectedEnd);
      const char c = s_[pos_];
      if (c == '>' || c == '/') {
        bool empty = c == '/';
        if (empty) {
          ++pos_;
          if (pos_ >= n) return Fail(CKlXmlParser::kErrUnexpectedEnd);
          if (s_[pos_] != '>') return Fail(CKlXmlParser::kErrBadName);
        }
        ++pos_;
        auto& siblings = stack_.back()->children;
        siblings.push_back(std::move(node));
        if (!empty) stack_.push_back(&siblings.back());
        return true;
      }
      // Attributes must be separated from the name and from each other.
      if (pos_ == before) return Fail(CKlXmlParser::kErrBadAttribute);
      std::string_view attrName;
      if (!ReadName(attrName)) return Fail(CKlXmlParser::kErrBadAttribute);
      SkipBlanks();
      if (pos_ >= n) return Fail(CKlXmlParser::kErrUnexpectedEnd);
      if (s_[pos_] != '=') return Fail(CKlXmlParser::kErrBadAttribute);
      ++pos_;
      SkipBlanks();
      if (pos_ >= n) return Fail(CKlXmlParser::kErrUnexpectedEnd);
      const char quote = s_[pos_];
      if (quote != '"' && quote != '\'') return Fail(CKlXmlParser::kErrBadAttribute);
      ++pos_;
      std::string value;
      for (;;) {
        if (pos_ >= n) return Fail(CKlXmlParser::kErrUnexpectedEnd);
        const char v = s_[pos_];
        if (v == quote) {
          ++pos_;
          break;
        }
        if (v == '\0') return Fail(CKlXmlParser::kErrNullCharacter);
        if (v == '&') {
          Entity(value);
        } else {
          value += v;
          ++pos_;
        }
      }
      if (node.Attribute(attrName)) return Fail(CKlXmlParser::kErrDuplicateAttribute);
      node.attributes.emplace_back(std::string(attrName), std::move(value));
    }
  }

  std::string_view s_;
  CKlXmlParser::Options options_;
  size_t pos_ = 0;
  std::vector<CKlXmlNode*> stack_;
  std::string pending_;
};

void Locate(std::string_view s, size_t pos, CKlXmlError& error) {
  int line = 1;
  size_t lineStart = 0;
  for (size_t i = 0; i < pos && i < s.size(); ++i) {
    if (s[i] == '\n') {
      ++line;
      lineStart = i + 1;
    }
  }
  error.line = line;
  error.column = static_cast<int>(pos - lineStart) + 1;
  // Up to 40 bytes either side of the error, within its line.
  size_t from = pos - lineStart > 40 ? pos - 40 : lineStart;
  size_t to = pos;
  while (to < s.size() && to - pos < 40 && s[to] != '\n' && s[to] != '\r') ++to;
  std::string context(s.substr(from, to - from));
  for (char& c : context) {
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = ' ';
  }
  error.context = std::move(context);
}

}  // namespace

bool CKlXmlParser::Parse(std::string_view input, CKlXmlNode& root, CKlXmlError& error) {
  root = CKlXmlNode();
  root.name = "[Root]";
  error = CKlXmlError();
  Parser parser(input, options_);
  if (parser.Run(root)) return true;
  root.children.clear();
  error.number = parser.errorNumber;
  error.text = ErrorText(parser.errorNumber);
  Locate(input, parser.errorPos, error);
  if (callback_) callback_(error);
  return false;
}

bool CKlXmlParser::ParseFile(const std::string& path, CKlXmlNode& root, CKlXmlError& error) {
  std::string content;
  if (!zel::ReadWholeFile(path, content)) {
    root = CKlXmlNode();
    root.name = "[Root]";
    error = CKlXmlError();
    error.number = kErrReadFile;
    error.text = ErrorText(kErrReadFile);
    error.line = 0;
    error.column = 0;
    error.context = path;
    if (callback_) callback_(error);
    return false;
  }
  return Parse(content, root, error);
}
