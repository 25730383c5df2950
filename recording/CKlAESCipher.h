#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

// AES-CBC encryption of ".zel" recordings under a key derived from a passphrase.
//
// The key material is the KeyString: the MD5 digest of the passphrase as 32
// hexadecimal digits whose letter case per digest byte follows a fixed pseudo-random
// pattern. Its first 16, 24 or 32 characters (as ASCII bytes) are the AES-128, -192
// or -256 key, chosen by the key size code stored in the file:
//   -1 no encryption, 0 AES-128, 1 AES-192, 2 AES-256; any other code sets up no key.
// Every run of CBC starts from an all-zero initial vector.
//
// Buffers: for the buffer operations `source` and `destination` must each hold
// `length` bytes and may be the same buffer (in-place), but must not otherwise overlap.
//
// A cipher object is used by one thread at a time; it holds no heap buffers and is
// freely copyable.
class CKlAESCipher {
 public:
  // Size of the header record that EncryptHeader handles.
  static constexpr size_t kHeaderBytes = 1440;
  // Audio is processed in chunks of this size, each from a fresh zero vector.
  static constexpr size_t kChunkSize = 66560;
  static constexpr size_t kBlockSize = 16;
  static constexpr size_t kKeyStringLength = 32;
  // Seed of the letter-case pattern of the KeyString. Recordings made by the device
  // software can only be opened when this matches the device's seed.
  static constexpr uint32_t kCaseSeed = 1;

  CKlAESCipher();
  virtual ~CKlAESCipher();
  CKlAESCipher(const CKlAESCipher&) = default;
  CKlAESCipher& operator=(const CKlAESCipher&) = default;

  // The 32-character KeyString of `passphrase` (its bytes as given, no terminator);
  // also kept as KeyString(). Empty only if the digest could not be computed.
  std::string ComputeKeyString(const std::string& passphrase);
  const std::string& KeyString() const { return keyString_; }

  // Encrypts the 1440-byte header `record` into `destination` (1440 bytes) with
  // `keyString` and `keySizeCode`. Code -1 copies the bytes unchanged. Returns 1440,
  // or 0 (destination untouched) for an unknown code, a key string too short for the
  // code, null buffers or a library failure.
  size_t EncryptHeader(const uint8_t* record, uint8_t* destination, const std::string& keyString,
                       int keySizeCode);

  // Decrypts `length` bytes in chunks of kChunkSize bytes, each chunk independently in
  // CBC from a zero vector; only the whole 16-byte blocks of a chunk are decrypted and
  // written to `destination`, in order. A trailing part block is not written, so a
  // buffer decrypted in place keeps its stored bytes there. Stops at the first chunk
  // that yields nothing. Returns the bytes written: 0 for null buffers, code -1, an
  // unknown code, a key string too short for the code, or fewer than 16 bytes.
  size_t DecryptBuffer(size_t length, const uint8_t* source, uint8_t* destination,
                       const std::string& keyString, int keySizeCode);

  // The mirror of DecryptBuffer, for writers of encrypted recordings: same chunking,
  // fresh zero vector per chunk, whole blocks only. The trailing part block (fewer
  // than 16 bytes at the end) is copied to `destination` unchanged, so with a usable
  // key destination always receives all `length` bytes. Returns the bytes encrypted
  // (without that part block; 0 for fewer than 16 bytes). Null buffers, code -1, an
  // unknown code or a key string too short for the code return 0 and leave
  // destination untouched.
  size_t EncryptBuffer(size_t length, const uint8_t* source, uint8_t* destination,
                       const std::string& keyString, int keySizeCode);

  // Key bytes used for a key size code: 16, 24 or 32; 0 for -1 and unknown codes.
  static size_t KeyBytesForCode(int keySizeCode);

 private:
  size_t RunChunks(bool encrypt, size_t length, const uint8_t* source, uint8_t* destination,
                   const std::string& keyString, int keySizeCode);

  std::string keyString_;
};
