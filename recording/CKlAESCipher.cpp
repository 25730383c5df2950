#include "recording/CKlAESCipher.h"

#include "core/Cp1252.h"

#include <openssl/evp.h>

#include <cstring>
#include <memory>

namespace {

// The classic Microsoft C runtime generator. The device software draws the KeyString's
// letter case from it, so the exact sequence matters, not its quality.
class CrtRandom {
 public:
  explicit CrtRandom(uint32_t seed) : state_(seed) {}
  int Next() {
    state_ = state_ * 214013u + 2531011u;
    return static_cast<int>((state_ >> 16) & 0x7FFF);
  }

 private:
  uint32_t state_;
};

const EVP_CIPHER* CipherForCode(int keySizeCode) {
  switch (keySizeCode) {
    case 0: return EVP_aes_128_cbc();
    case 1: return EVP_aes_192_cbc();
    case 2: return EVP_aes_256_cbc();
    default: return nullptr;
  }
}

struct CtxDeleter {
  void operator()(EVP_CIPHER_CTX* ctx) const { EVP_CIPHER_CTX_free(ctx); }
};
using CtxPtr = std::unique_ptr<EVP_CIPHER_CTX, CtxDeleter>;

// A context set up for `keySizeCode` in the given direction without padding, or null
// when the code or key string does not allow one.
CtxPtr MakeContext(bool encrypt, const std::string& keyString, int keySizeCode) {
  const EVP_CIPHER* cipher = CipherForCode(keySizeCode);
  size_t keyBytes = CKlAESCipher::KeyBytesForCode(keySizeCode);
  if (cipher == nullptr || keyString.size() < keyBytes) return nullptr;
  CtxPtr ctx(EVP_CIPHER_CTX_new());
  if (!ctx) return nullptr;
  const unsigned char zeroIv[CKlAESCipher::kBlockSize] = {};
  if (EVP_CipherInit_ex(ctx.get(), cipher, nullptr,
                        reinterpret_cast<const unsigned char*>(keyString.data()), zeroIv,
                        encrypt ? 1 : 0) != 1 ||
      EVP_CIPHER_CTX_set_padding(ctx.get(), 0) != 1) {
    return nullptr;
  }
  return ctx;
}

// Runs CBC over `length` bytes (a multiple of 16) from a fresh zero vector.
bool RunCbc(EVP_CIPHER_CTX* ctx, bool encrypt, const uint8_t* in, uint8_t* out, size_t length) {
  const unsigned char zeroIv[CKlAESCipher::kBlockSize] = {};
  if (EVP_CipherInit_ex(ctx, nullptr, nullptr, nullptr, zeroIv, encrypt ? 1 : 0) != 1) return false;
  int produced = 0;
  if (EVP_CipherUpdate(ctx, out, &produced, in, static_cast<int>(length)) != 1) return false;
  return static_cast<size_t>(produced) == length;
}

}  // namespace

CKlAESCipher::CKlAESCipher() = default;
CKlAESCipher::~CKlAESCipher() = default;

size_t CKlAESCipher::KeyBytesForCode(int keySizeCode) {
  switch (keySizeCode) {
    case 0: return 16;
    case 1: return 24;
    case 2: return 32;
    default: return 0;
  }
}

std::string CKlAESCipher::ComputeKeyString(const std::string& passphrase) {
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int digestLength = 0;
  keyString_.clear();
  // The device hashes the passphrase as it stores texts: in Windows-1252. One that the
  // code page cannot hold has no key (a "?" in its place would open other files).
  if (!zel::FitsCp1252(passphrase)) return keyString_;
  const std::string bytes = zel::Utf8ToCp1252(passphrase);
  if (EVP_Digest(bytes.data(), bytes.size(), digest, &digestLength, EVP_md5(), nullptr) != 1 ||
      digestLength != 16) {
    return keyString_;
  }
  static const char kUpper[] = "0123456789ABCDEF";
  static const char kLower[] = "0123456789abcdef";
  CrtRandom random(kCaseSeed);  // the same pattern for every passphrase
  keyString_.reserve(kKeyStringLength);
  for (unsigned i = 0; i < digestLength; ++i) {
    const char* digits = (random.Next() & 1) ? kLower : kUpper;
    keyString_ += digits[digest[i] >> 4];
    keyString_ += digits[digest[i] & 0x0F];
  }
  return keyString_;
}

size_t CKlAESCipher::EncryptHeader(const uint8_t* record, uint8_t* destination,
                                   const std::string& keyString, int keySizeCode) {
  if (record == nullptr || destination == nullptr) return 0;
  if (keySizeCode == -1) {
    std::memmove(destination, record, kHeaderBytes);
    return kHeaderBytes;
  }
  CtxPtr ctx = MakeContext(true, keyString, keySizeCode);
  if (!ctx) return 0;
  // The device's encryptor appends a padding block that is thrown away; encrypting
  // without padding gives the same first 1440 bytes.
  uint8_t out[kHeaderBytes];
  if (!RunCbc(ctx.get(), true, record, out, kHeaderBytes)) return 0;
  std::memcpy(destination, out, kHeaderBytes);
  return kHeaderBytes;
}

size_t CKlAESCipher::RunChunks(bool encrypt, size_t length, const uint8_t* source,
                               uint8_t* destination, const std::string& keyString, int keySizeCode) {
  if (source == nullptr || destination == nullptr) return 0;
  CtxPtr ctx = MakeContext(encrypt, keyString, keySizeCode);
  if (!ctx) return 0;
  size_t done = 0;
  while (done < length) {
    size_t chunk = length - done < kChunkSize ? length - done : kChunkSize;
    size_t whole = chunk - chunk % kBlockSize;
    if (whole == 0) break;
    if (!RunCbc(ctx.get(), encrypt, source + done, destination + done, whole)) break;
    done += whole;
    if (whole != chunk) break;  // only the last chunk can end in a part block
  }
  return done;
}

size_t CKlAESCipher::DecryptBuffer(size_t length, const uint8_t* source, uint8_t* destination,
                                   const std::string& keyString, int keySizeCode) {
  return RunChunks(false, length, source, destination, keyString, keySizeCode);
}

size_t CKlAESCipher::EncryptBuffer(size_t length, const uint8_t* source, uint8_t* destination,
                                   const std::string& keyString, int keySizeCode) {
  if (source == nullptr || destination == nullptr || !MakeContext(true, keyString, keySizeCode)) {
    return 0;
  }
  size_t done = RunChunks(true, length, source, destination, keyString, keySizeCode);
  // Only a part block at the very end is left over; it is stored as it is.
  if (length - done < kBlockSize && done < length && source != destination) {
    std::memcpy(destination + done, source + done, length - done);
  }
  return done;
}
