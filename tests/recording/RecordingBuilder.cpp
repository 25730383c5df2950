#include "recording/RecordingBuilder.h"

#include <openssl/evp.h>


namespace zeltest {
namespace {

// rand() of the Microsoft C runtime after srand(1), first sixteen values.
constexpr int kCrtRandSeed1[16] = {41,    18467, 6334,  26500, 19169, 15724, 11478, 29358,
                                   26962, 24464, 5705,  28145, 23281, 16827, 9961,  491};

void Put32(std::string& bytes, size_t offset, uint32_t value) {
  for (int i = 0; i < 4; ++i) bytes[offset + i] = static_cast<char>((value >> (8 * i)) & 0xFF);
}

void PutText(std::string& bytes, size_t offset, const std::string& text) {
  bytes.replace(offset, text.size(), text);
}

std::string CbcEncrypt(const std::string& plain, const std::string& key, int keySizeCode) {
  const EVP_CIPHER* cipher = keySizeCode == 0   ? EVP_aes_128_cbc()
                             : keySizeCode == 1 ? EVP_aes_192_cbc()
                                                : EVP_aes_256_cbc();
  unsigned char iv[16] = {};
  EVP_CIPHER_CTX* ctx = EVP_CIPHER_CTX_new();
  std::string out(plain.size() + 16, '\0');
  int n = 0;
  EVP_EncryptInit_ex(ctx, cipher, nullptr, reinterpret_cast<const unsigned char*>(key.data()), iv);
  EVP_CIPHER_CTX_set_padding(ctx, 0);
  EVP_EncryptUpdate(ctx, reinterpret_cast<unsigned char*>(out.data()), &n,
                    reinterpret_cast<const unsigned char*>(plain.data()), static_cast<int>(plain.size()));
  EVP_CIPHER_CTX_free(ctx);
  out.resize(static_cast<size_t>(n));
  return out;
}

}  // namespace

std::string BuildRecord(const HeaderFields& f) {
  std::string r(1440, '\0');
  Put32(r, 0, f.version);
  Put32(r, 4, f.headerSize);
  Put32(r, 8, static_cast<uint32_t>(f.formatTag));
  Put32(r, 12, f.important);
  PutText(r, 16, f.callerId);
  PutText(r, 144, f.comment);
  Put32(r, 1168, static_cast<uint32_t>(f.startTime));
  Put32(r, 1172, f.duration);
  Put32(r, 1176, f.reserved1);
  PutText(r, 1180, f.userId);
  Put32(r, 1308, f.auxCode);
  PutText(r, 1312, f.siteCode);
  Put32(r, 1432, f.auxDuration);
  Put32(r, 1436, f.reserved2);
  return r;
}

std::string BuildPlainFile(const HeaderFields& fields, const std::string& audio) {
  std::string record = BuildRecord(fields);
  if (fields.version == 1) record.resize(1176);
  return record + audio;
}

std::string TestKeyString(const std::string& passphrase) {
  unsigned char digest[16];
  unsigned int length = 0;
  EVP_Digest(passphrase.data(), passphrase.size(), digest, &length, EVP_md5(), nullptr);
  std::string key;
  for (int i = 0; i < 16; ++i) {
    const char* digits = kCrtRandSeed1[i] % 2 ? "0123456789abcdef" : "0123456789ABCDEF";
    key += digits[digest[i] >> 4];
    key += digits[digest[i] & 15];
  }
  return key;
}

std::string BuildEncryptedFile(const HeaderFields& fields, const std::string& audio,
                               const std::string& passphrase, int keySizeCode) {
  std::string key = TestKeyString(passphrase);
  std::string prefix(48, '\0');
  Put32(prefix, 0, 5);
  Put32(prefix, 4, static_cast<uint32_t>(keySizeCode));
  for (size_t i = 0; i < 40; ++i) {
    unsigned char c = i < key.size() ? static_cast<unsigned char>(key[i]) : 0;
    prefix[8 + i] = static_cast<char>(c ^ 0x80);
  }
  std::string file = prefix + CbcEncrypt(BuildRecord(fields), key, keySizeCode);
  for (size_t at = 0; at < audio.size(); at += 66560) {
    std::string chunk = audio.substr(at, 66560);
    size_t whole = chunk.size() - chunk.size() % 16;
    file += CbcEncrypt(chunk.substr(0, whole), key, keySizeCode) + chunk.substr(whole);
  }
  return file;
}

std::string Filler(size_t length, uint32_t seed) {
  std::string bytes(length, '\0');
  for (size_t i = 0; i < length; ++i) {
    seed = seed * 1103515245u + 12345u;
    bytes[i] = static_cast<char>(seed >> 16);
  }
  return bytes;
}

uint32_t Le32(const std::string& bytes, size_t offset) {
  uint32_t v = 0;
  for (int i = 3; i >= 0; --i) v = (v << 8) | static_cast<unsigned char>(bytes.at(offset + i));
  return v;
}

}  // namespace zeltest
