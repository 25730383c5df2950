// Feeds arbitrary bytes to the XML reader in both end-tag modes; any crash,
// sanitizer report or endless loop is a fault.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "toolkit/CKlXmlParser.h"

namespace {
size_t CountNodes(const CKlXmlNode& node) {
  size_t count = 1;
  for (const auto& child : node.children) count += CountNodes(child);
  return count;
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view input(reinterpret_cast<const char*>(data), size);
  for (bool ignoreCase : {false, true}) {
    CKlXmlParser::Options options;
    options.ignoreEndTagCase = ignoreCase;
    CKlXmlParser parser(options);
    CKlXmlNode root;
    CKlXmlError error;
    if (parser.Parse(input, root, error)) {
      (void)CountNodes(root);
    } else if (error.number == 0 || error.line < 1 || error.column < 1) {
      __builtin_trap();  // a failure must say where and why
    }
  }
  return 0;
}
