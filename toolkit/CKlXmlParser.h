#pragma once
#include <functional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

// One node of a parsed document: an element (name, attributes, children) or a
// text node (its decoded text). The document itself is an element named "[Root]"
// whose children are the top-level elements and texts.
struct CKlXmlNode {
  enum class Kind { Element, Text };

  Kind kind = Kind::Element;
  std::string name;  // element name; empty for text nodes
  std::string text;  // text node content, entities decoded; empty for elements
  std::vector<std::pair<std::string, std::string>> attributes;  // in document order
  std::vector<CKlXmlNode> children;

  bool IsElement() const { return kind == Kind::Element; }
  bool IsText() const { return kind == Kind::Text; }
  // The value of attribute `attr`, or null.
  const std::string* Attribute(std::string_view attr) const;
  // The first child element named `child` (exact case), or null.
  const CKlXmlNode* FirstChild(std::string_view child) const;
  // The texts of the direct text children, joined.
  std::string InnerText() const;
};

// What went wrong, for the caller's message. `line` and `column` count from 1 and
// point at the offending character; `context` is the input around it (at most one
// line, control characters shown as blanks).
struct CKlXmlError {
  int number = 0;
  std::string text;
  int line = 0;
  int column = 0;
  std::string context;
};

// A small non-validating XML reader for the recording lists and the archive log.
// Lenient where existing files need it: an "&" that does not start a known entity or
// a valid character reference is kept as it is, and a "<" in text that cannot
// start markup (followed by a blank, a digit, "=", ...) is kept as text. Elements must
// nest properly; declarations, comments, processing instructions and DOCTYPE are
// skipped, CDATA becomes text. Text consisting only of blanks is dropped unless
// `keepBlankText`. Bytes are not re-encoded: the caller knows the file's code page.
class CKlXmlParser {
 public:
  enum Error {
    kOk = 0,
    kErrUnexpectedEnd = 1,
    kErrBadName = 2,
    kErrBadAttribute = 3,
    kErrMismatchedEndTag = 4,
    kErrUnexpectedEndTag = 5,
    kErrUnclosedElement = 6,
    kErrUnterminatedComment = 7,
    kErrUnterminatedCdata = 8,
    kErrUnterminatedDeclaration = 9,
    kErrNullCharacter = 10,
    kErrTooDeep = 11,
    kErrReadFile = 12,
    kErrDuplicateAttribute = 13,
  };

  struct Options {
    bool ignoreEndTagCase = false;  // "</root>" may close "<Root>"
    bool keepBlankText = false;
  };

  // Deepest element nesting accepted; deeper input is an error, not a stack overflow.
  static constexpr int kMaxDepth = 256;

  CKlXmlParser() = default;
  explicit CKlXmlParser(Options options) : options_(options) {}

  // Parses `input` into `root` (replaced; named "[Root]"). On failure returns false,
  // fills `error`, calls the error callback when one is set, and leaves `root` empty.
  bool Parse(std::string_view input, CKlXmlNode& root, CKlXmlError& error);
  // Reads the whole file and parses it; a file that cannot be read is error 12.
  bool ParseFile(const std::string& path, CKlXmlNode& root, CKlXmlError& error);

  // Called with each failure, before Parse returns false.
  void SetErrorCallback(std::function<void(const CKlXmlError&)> callback) {
    callback_ = std::move(callback);
  }

  // The text for an error number ("Unknown error" for others).
  static const char* ErrorText(int number);

 private:
  Options options_;
  std::function<void(const CKlXmlError&)> callback_;
};
