#include <gtest/gtest.h>

#include <string>

#include "core/ResourceBundle.h"
#include "support/TestSupport.h"

// Bundles made by rcc pass; any cut or damaged offset is refused.
TEST(ResourceBundleTest, WholeBundlesPassAndDamagedOnesAreRefused) {
  for (const char* name : {"plain.rcc", "zlib.rcc", "zstd.rcc"}) {
    SCOPED_TRACE(name);
    const std::string bundle =
        zeltest::ReadFile(std::string(ZEL_TEST_SOURCE_DIR) + "/fuzz/corpus/fuzz_resource_bundle/" + name);
    ASSERT_GT(bundle.size(), 24u);
    EXPECT_EQ(zel::CheckResourceBundle(bundle), "");
    for (size_t size = 0; size < bundle.size(); ++size) {
      EXPECT_NE(zel::CheckResourceBundle(bundle.substr(0, size)), "") << size;
    }
    struct Damage {
      size_t at;
      std::string bytes;
    };
    for (const Damage& d : {Damage{0, "qrez"}, Damage{4, std::string("\0\0\0\x09", 4)},  // magic, version
                            Damage{8, "\xff\xff\xff\x00"}, Damage{12, "\x7f\xff\xff\xff"},  // tree, data
                            Damage{16, "\x7f\xff\xff\xff"}}) {                              // names
      std::string damaged = bundle;
      damaged.replace(d.at, d.bytes.size(), d.bytes);
      EXPECT_NE(zel::CheckResourceBundle(damaged), "") << d.at;
    }
  }
}
