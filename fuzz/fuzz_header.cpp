// Arbitrary bytes as a ".zel" file for the header reader, once without and once with
// a passphrase. When the first byte asks for it, a valid version-5 prefix for the
// fuzz passphrase is put in front, so the decryption path is reached too.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

#include "recording/CKlAESCipher.h"
#include "recording/CKlRecordFileHdr.h"

namespace {

const char kPassphrase[] = "fuzz pass";

void Exercise(const std::string& bytes, const std::string& passphrase) {
  std::string copy = bytes;
  FILE* file = fmemopen(copy.data(), copy.size(), "rb");
  if (file == nullptr) return;
  CKlRecordFileHdr header;
  int result = header.ReadHeader(file, passphrase);
  std::fclose(file);
  if (result != 0 && result != -1 && result != 1176 && result != 1440) __builtin_trap();

  int start = 0;
  int end = 0;
  if (header.GetBookmark(start, end) && header.SetBookmark(start, end) == 1) {
    int s2 = 0;
    int e2 = 0;
    // Times of 100 hours and more do not fit the 8 characters read back.
    if (start >= 0 && start < end && end < 360000 && (!header.GetBookmark(s2, e2) || s2 != start || e2 != end)) __builtin_trap();
  }
  header.SetBookmark(-1, -1);
  (void)header.FormatDateTime();
  (void)header.CommentUtf8();
  (void)header.CallerIdUtf8();

  // Written back into memory, a readable header reads again with the same result.
  if (result > 0) {
    std::string out(bytes.size() + 1488, '\0');
    FILE* target = fmemopen(out.data(), out.size(), "r+b");
    if (target == nullptr) return;
    bool written = header.WriteHeader(target);
    std::fclose(target);
    if (!written) __builtin_trap();
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  std::string bytes(reinterpret_cast<const char*>(data + 1), size - 1);
  if (data[0] & 1) {
    CKlAESCipher cipher;
    std::string key = cipher.ComputeKeyString(kPassphrase);
    uint8_t prefix[48] = {5, 0, 0, 0, static_cast<uint8_t>((data[0] >> 1) % 4 - 1), 0, 0, 0};
    if (prefix[4] == 0xFF) std::memset(prefix + 5, 0xFF, 3);
    for (size_t i = 0; i < 40; ++i) prefix[8 + i] = (i < key.size() ? static_cast<uint8_t>(key[i]) : 0) ^ 0x80;
    bytes.insert(0, reinterpret_cast<const char*>(prefix), sizeof(prefix));
  }
  Exercise(bytes, "");
  Exercise(bytes, kPassphrase);
  return 0;
}
