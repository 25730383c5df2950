// Feeds arbitrary bytes to the branding bundle check; any crash, sanitizer
// report or endless loop is a fault.
#include <cstddef>
#include <cstdint>
#include <string>

#include "core/ResourceBundle.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // A heap copy of exactly the input, so that a read past its end is reported.
  const std::string bundle(reinterpret_cast<const char*>(data), size);
  (void)zel::CheckResourceBundle(bundle);
  return 0;
}
