#pragma once
#include <cstdint>
#include <string>

// Builds ".zel" file bytes for the tests straight from the file layout, without the
// production header, cipher or entry code.
namespace zeltest {

struct HeaderFields {
  uint32_t version = 4;
  uint32_t headerSize = 1440;
  int32_t formatTag = 49;
  uint32_t important = 0;
  std::string callerId = "0123 456789";  // raw Windows-1252 bytes
  std::string comment;
  int32_t startTime = 1331806500;  // 2012-03-15 10:15:00 UTC
  uint32_t duration = 60;
  uint32_t reserved1 = 0;
  std::string userId = "4711";
  uint32_t auxCode = 0xFFFFFFFFu;
  std::string siteCode = "Unknown";
  uint32_t auxDuration = 0;
  uint32_t reserved2 = 0;
};

// The 1440-byte record (texts NUL-padded; the caller keeps them within their fields).
std::string BuildRecord(const HeaderFields& fields);

// A plain file: version 1 stores the first 1176 record bytes, the others all 1440.
std::string BuildPlainFile(const HeaderFields& fields, const std::string& audio);

// The KeyString of a passphrase computed with OpenSSL's MD5 and the published
// sequence of the runtime generator.
std::string TestKeyString(const std::string& passphrase);

// A version-5 file: prefix, the record encrypted as a whole in CBC from a zero
// vector, then the audio encrypted in 66,560-byte chunks (part blocks as they are).
std::string BuildEncryptedFile(const HeaderFields& fields, const std::string& audio,
                               const std::string& passphrase, int keySizeCode);

// Deterministic filler bytes.
std::string Filler(size_t length, uint32_t seed);

uint32_t Le32(const std::string& bytes, size_t offset);

}  // namespace zeltest
