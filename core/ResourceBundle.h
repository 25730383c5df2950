#pragma once
#include <cstdint>
#include <string>
#include <string_view>

// A branding bundle is a binary Qt resource file ("rcc --binary"). Qt trusts its
// offsets, so a damaged bundle would crash the start inside Qt: every offset the
// resource tree can lead Qt to is checked here first.
namespace zel {

// Bundles larger than this are refused, and so are bundles whose entries
// together unpack to more: Qt would unpack what a damaged entry claims.
constexpr uint64_t kMaxResourceBundleSize = 16ull << 20;

// Empty when `bundle` is a resource file whose header, tree, names and data all
// lie within it and whose entries unpack to at most kMaxResourceBundleSize; else
// what is wrong.
std::string CheckResourceBundle(std::string_view bundle);

}  // namespace zel
