#include "core/ResourceBundle.h"

#include <vector>

namespace zel {
namespace {

constexpr uint16_t kCompressed = 0x01;
constexpr uint16_t kDirectory = 0x02;
constexpr uint16_t kCompressedZstd = 0x04;

class Reader {
 public:
  explicit Reader(std::string_view bytes) : bytes_(bytes) {}
  // True when `length` bytes from `offset` lie within the bundle.
  bool Has(uint64_t offset, uint64_t length) const {
    return offset <= bytes_.size() && length <= bytes_.size() - offset;
  }
  uint64_t Big(uint64_t offset, int bytes) const {
    uint64_t value = 0;
    for (int i = 0; i < bytes; ++i) value = value << 8 | static_cast<unsigned char>(bytes_[offset + i]);
    return value;
  }
  uint64_t Little(uint64_t offset, int bytes) const {
    uint64_t value = 0;
    for (int i = bytes - 1; i >= 0; --i) value = value << 8 | static_cast<unsigned char>(bytes_[offset + i]);
    return value;
  }

 private:
  std::string_view bytes_;
};

// The size a zstd frame says it holds; UINT64_MAX when it does not say.
uint64_t ZstdContentSize(const Reader& in, uint64_t at, uint64_t length) {
  if (length < 5 || in.Little(at, 4) != 0xFD2FB528u) return UINT64_MAX;
  const uint64_t descriptor = in.Big(at + 4, 1);
  const bool single = descriptor & 0x20;
  const int fcsBytes[] = {single ? 1 : 0, 2, 4, 8};
  const int idBytes[] = {0, 1, 2, 4};
  const int fcs = fcsBytes[descriptor >> 6];
  const uint64_t field = 5 + (single ? 0 : 1) + idBytes[descriptor & 3];
  if (fcs == 0 || field + fcs > length) return UINT64_MAX;
  const uint64_t size = in.Little(at + field, fcs);
  return fcs == 2 ? size + 256 : size;
}

std::string CheckData(const Reader& in, uint64_t at, uint16_t flags, uint64_t& total) {
  if (!in.Has(at, 4)) return "an entry's data lies outside the file";
  const uint64_t length = in.Big(at, 4);
  if (!in.Has(at + 4, length)) return "an entry's data runs past the end of the file";
  uint64_t unpacked = length;
  if (flags & kCompressed) {
    if (length < 4) return "a compressed entry is too short";
    unpacked = in.Big(at + 4, 4);
  } else if (flags & kCompressedZstd) {
    unpacked = ZstdContentSize(in, at + 4, length);
  }
  if (unpacked > kMaxResourceBundleSize - total) return "the entries claim too much data";
  total += unpacked;
  return std::string();
}

}  // namespace

std::string CheckResourceBundle(std::string_view bundle) {
  const Reader in(bundle);
  if (bundle.size() > kMaxResourceBundleSize) return "the file is too large";
  if (!in.Has(0, 20) || bundle.substr(0, 4) != "qres") return "not a resource file";
  const uint64_t version = in.Big(4, 4);
  if (version < 1 || version > 3) return "unknown resource file version";
  const uint64_t tree = in.Big(8, 4), data = in.Big(12, 4), names = in.Big(16, 4);
  if (version >= 3 && !in.Has(0, 24)) return "the header is cut short";
  const uint64_t nodeSize = version >= 2 ? 22 : 14;
  // Every node Qt can reach from the root. A real tree reaches each node once,
  // so a node seen twice or more entries than fit in the file is damage (and
  // keeps a looping tree from hanging the check).
  std::vector<bool> seen;
  std::vector<uint64_t> pending{0};
  uint64_t budget = bundle.size() / nodeSize;
  uint64_t unpacked = 0;
  while (!pending.empty()) {
    const uint64_t node = pending.back();
    pending.pop_back();
    const uint64_t at = tree + node * nodeSize;
    if (node > bundle.size() || !in.Has(at, nodeSize)) return "a node lies outside the file";
    if (node >= seen.size()) seen.resize(node + 1);
    if (seen[node]) return "the tree reaches an entry twice";
    seen[node] = true;
    const uint64_t name = names + in.Big(at, 4);
    if (node != 0 && (!in.Has(name, 6) || !in.Has(name + 6, 2 * in.Big(name, 2)))) {
      return "a name lies outside the file";
    }
    const auto flags = static_cast<uint16_t>(in.Big(at + 4, 2));
    if (flags & kDirectory) {
      const uint64_t count = in.Big(at + 6, 4), first = in.Big(at + 10, 4);
      if (count > budget || !in.Has(tree + first * nodeSize, count * nodeSize)) {
        return "a folder's entries lie outside the file";
      }
      budget -= count;
      for (uint64_t child = first; child < first + count; ++child) pending.push_back(child);
    } else {
      std::string why = CheckData(in, data + in.Big(at + 10, 4), flags, unpacked);
      if (!why.empty()) return why;
    }
  }
  return std::string();
}

}  // namespace zel
