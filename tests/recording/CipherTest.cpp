#include <gtest/gtest.h>

#include <cctype>
#include <cstdint>
#include <string>
#include <vector>

#include "core/Cp1252.h"
#include "recording/CKlAESCipher.h"
#include "support/TestSupport.h"

namespace {

// The first sixteen values of the Microsoft C runtime's rand() after srand(1), as
// published for that runtime; odd values select lower-case digits.
constexpr int kCrtRandSeed1[16] = {41,    18467, 6334,  26500, 19169, 15724, 11478, 29358,
                                   26962, 24464, 5705,  28145, 23281, 16827, 9961,  491};

std::string Md5Hex(const std::string& passphrase) {
  zeltest::TempDir dir;
  std::string file = dir.File("pass");
  zeltest::WriteFile(file, passphrase);
  auto result = zeltest::RunShell("md5sum " + zeltest::ShellQuote(file));
  EXPECT_EQ(result.exitCode, 0) << result.err;
  return result.out.substr(0, 32);
}

// KeyString by hand: md5sum's lower-case digits, upper-cased where the runtime's
// generator drew an even value.
std::string ExpectedKeyString(const std::string& passphrase) {
  std::string hex = Md5Hex(passphrase);
  for (int i = 0; i < 16; ++i) {
    if (kCrtRandSeed1[i] % 2 == 0) {
      hex[2 * i] = static_cast<char>(std::toupper(static_cast<unsigned char>(hex[2 * i])));
      hex[2 * i + 1] = static_cast<char>(std::toupper(static_cast<unsigned char>(hex[2 * i + 1])));
    }
  }
  return hex;
}

std::string ToHex(const std::string& bytes) {
  static const char kDigits[] = "0123456789abcdef";
  std::string out;
  for (unsigned char c : bytes) {
    out += kDigits[c >> 4];
    out += kDigits[c & 15];
  }
  return out;
}

// `openssl enc` without padding from a zero vector; the key is the ASCII of the first
// characters of the key string.
std::vector<uint8_t> OpensslEncrypt(const std::vector<uint8_t>& plain, const std::string& keyString,
                                    int keySizeCode, bool decrypt = false) {
  static const char* kNames[] = {"-aes-128-cbc", "-aes-192-cbc", "-aes-256-cbc"};
  size_t keyBytes = 16 + 8 * static_cast<size_t>(keySizeCode);
  zeltest::TempDir dir;
  zeltest::WriteFile(dir.File("in"), std::string(plain.begin(), plain.end()));
  std::string command = std::string("openssl enc ") + (decrypt ? "-d " : "") + kNames[keySizeCode] +
                        " -nopad -K " + ToHex(keyString.substr(0, keyBytes)) + " -iv " +
                        std::string(32, '0') + " -in " + dir.File("in") + " -out " + dir.File("out");
  auto result = zeltest::RunShell(command);
  EXPECT_EQ(result.exitCode, 0) << result.err;
  std::string out = zeltest::ReadFile(dir.File("out"));
  return std::vector<uint8_t>(out.begin(), out.end());
}

std::vector<uint8_t> Pattern(size_t length, uint32_t seed) {
  std::vector<uint8_t> bytes(length);
  for (size_t i = 0; i < length; ++i) {
    seed = seed * 1103515245u + 12345u;
    bytes[i] = static_cast<uint8_t>(seed >> 16);
  }
  return bytes;
}

class CipherTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!zeltest::ToolAvailable("openssl") || !zeltest::ToolAvailable("md5sum")) {
      GTEST_SKIP() << "openssl or md5sum missing";
    }
  }
};

TEST_F(CipherTest, KeyStringMatchesMd5sumAndRuntimeCasePattern) {
  CKlAESCipher cipher;
  for (std::string passphrase : {"Secret Pass", "secret pass", "x", ""}) {
    std::string expected = ExpectedKeyString(passphrase);
    EXPECT_EQ(cipher.ComputeKeyString(passphrase), expected) << passphrase;
    EXPECT_EQ(cipher.KeyString(), expected);
    ASSERT_EQ(expected.size(), 32u);
    for (char c : expected) EXPECT_TRUE(std::isdigit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'));
  }
  // Same passphrase, same key string, also from a fresh object; case matters.
  CKlAESCipher other;
  EXPECT_EQ(other.ComputeKeyString("Secret Pass"), cipher.ComputeKeyString("Secret Pass"));
  EXPECT_NE(cipher.ComputeKeyString("Secret Pass"), cipher.ComputeKeyString("secret pass"));
}

TEST_F(CipherTest, PassphraseIsHashedInWindows1252AndRefusedWhenItCannotBe) {
  CKlAESCipher cipher;
  // UTF-8 as typed; the device hashes the Windows-1252 bytes.
  EXPECT_EQ(cipher.ComputeKeyString("Gr\xC3\xBC\xC3\x9F" "e \xE2\x82\xAC"),
            ExpectedKeyString("Gr\xFC\xDF" "e \x80"));
  EXPECT_EQ(cipher.ComputeKeyString("\xE4\xB8\xAD"), "") << "no key for a CJK passphrase";
  EXPECT_EQ(cipher.ComputeKeyString("\xE4\xB8\xAD"), "");

  zeltest::ScopedMessages messages;
  EXPECT_TRUE(zel::PassphraseFits("Gr\xC3\xBC\xC3\x9F" "e"));
  EXPECT_TRUE(messages.messages().empty());
  EXPECT_FALSE(zel::PassphraseFits("pass \xF0\x9F\x94\x91"));
  ASSERT_EQ(messages.messages().size(), 1u);
  EXPECT_NE(messages.messages()[0].find("Windows-1252"), std::string::npos);
}

TEST_F(CipherTest, HeaderEncryptionMatchesOpensslForEveryKeySize) {
  CKlAESCipher cipher;
  std::string key = cipher.ComputeKeyString("header key");
  std::vector<uint8_t> record = Pattern(1440, 7);
  for (int code = 0; code <= 2; ++code) {
    std::vector<uint8_t> encrypted(1440 + 16, 0xEE);
    ASSERT_EQ(cipher.EncryptHeader(record.data(), encrypted.data(), key, code), 1440u);
    // Nothing beyond the record: the padding block is not handed out.
    EXPECT_EQ(encrypted[1440], 0xEE);
    encrypted.resize(1440);
    EXPECT_EQ(encrypted, OpensslEncrypt(record, key, code)) << "code " << code;

    std::vector<uint8_t> back(1440);
    EXPECT_EQ(cipher.DecryptBuffer(1440, encrypted.data(), back.data(), key, code), 1440u);
    EXPECT_EQ(back, record);
  }
  // Code -1 copies.
  std::vector<uint8_t> copy(1440);
  EXPECT_EQ(cipher.EncryptHeader(record.data(), copy.data(), key, -1), 1440u);
  EXPECT_EQ(copy, record);
}

TEST_F(CipherTest, ChunksStartFromFreshVectorAndPartBlocksStayAsStored) {
  CKlAESCipher cipher;
  std::string key = cipher.ComputeKeyString("chunky");
  const size_t chunk = CKlAESCipher::kChunkSize;
  std::vector<uint8_t> plain = Pattern(chunk + 100, 3);
  for (int code = 0; code <= 2; ++code) {
    // Expected stored form: chunk 1 and the 96 whole bytes of chunk 2, each encrypted on
    // its own from a zero vector; the last 4 bytes as they are.
    std::vector<uint8_t> first(plain.begin(), plain.begin() + chunk);
    std::vector<uint8_t> second(plain.begin() + chunk, plain.begin() + chunk + 96);
    std::vector<uint8_t> stored = OpensslEncrypt(first, key, code);
    std::vector<uint8_t> tail = OpensslEncrypt(second, key, code);
    stored.insert(stored.end(), tail.begin(), tail.end());
    stored.insert(stored.end(), plain.end() - 4, plain.end());
    ASSERT_EQ(stored.size(), plain.size());

    std::vector<uint8_t> encrypted(plain.size(), 0);
    EXPECT_EQ(cipher.EncryptBuffer(plain.size(), plain.data(), encrypted.data(), key, code), chunk + 96);
    EXPECT_EQ(encrypted, stored) << "code " << code;

    // Separate destination: only decrypted bytes are written.
    std::vector<uint8_t> out(plain.size(), 0xAB);
    EXPECT_EQ(cipher.DecryptBuffer(stored.size(), stored.data(), out.data(), key, code), 66656u);
    EXPECT_TRUE(std::equal(out.begin(), out.begin() + 66656, plain.begin()));
    EXPECT_EQ(std::vector<uint8_t>(out.end() - 4, out.end()), std::vector<uint8_t>(4, 0xAB));

    // In place, as the reader does it: the whole buffer comes back.
    std::vector<uint8_t> inPlace = stored;
    EXPECT_EQ(cipher.DecryptBuffer(inPlace.size(), inPlace.data(), inPlace.data(), key, code), 66656u);
    EXPECT_EQ(inPlace, plain);
    inPlace = plain;
    EXPECT_EQ(cipher.EncryptBuffer(inPlace.size(), inPlace.data(), inPlace.data(), key, code), 66656u);
    EXPECT_EQ(inPlace, stored);
  }
}

TEST_F(CipherTest, ShortBuffersNullsAndUnusableKeysProduceNothing) {
  CKlAESCipher cipher;
  std::string key = cipher.ComputeKeyString("k");
  std::vector<uint8_t> src = Pattern(1440, 9);
  std::vector<uint8_t> dst(1440, 0x55);
  const std::vector<uint8_t> untouched = dst;

  EXPECT_EQ(cipher.DecryptBuffer(10, src.data(), dst.data(), key, 0), 0u);
  EXPECT_EQ(dst, untouched);
  EXPECT_EQ(cipher.DecryptBuffer(0, src.data(), dst.data(), key, 0), 0u);
  EXPECT_EQ(cipher.DecryptBuffer(1440, nullptr, dst.data(), key, 0), 0u);
  EXPECT_EQ(cipher.DecryptBuffer(1440, src.data(), nullptr, key, 0), 0u);
  for (int code : {-1, 3, -2, 1000}) {
    EXPECT_EQ(cipher.DecryptBuffer(1440, src.data(), dst.data(), key, code), 0u) << code;
    EXPECT_EQ(cipher.EncryptBuffer(1440, src.data(), dst.data(), key, code), 0u) << code;
  }
  for (int code : {3, -2}) EXPECT_EQ(cipher.EncryptHeader(src.data(), dst.data(), key, code), 0u);
  // A key string shorter than the code needs is refused, not read past.
  EXPECT_EQ(cipher.EncryptHeader(src.data(), dst.data(), key.substr(0, 20), 1), 0u);
  EXPECT_EQ(cipher.DecryptBuffer(1440, src.data(), dst.data(), key.substr(0, 31), 2), 0u);
  EXPECT_EQ(dst, untouched);

  // Encrypting fewer than 16 bytes stores them as they are.
  EXPECT_EQ(cipher.EncryptBuffer(10, src.data(), dst.data(), key, 0), 0u);
  EXPECT_TRUE(std::equal(dst.begin(), dst.begin() + 10, src.begin()));
}

}  // namespace
