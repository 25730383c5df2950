#include "Archive/ArchiveVerifier.h"

#include <openssl/evp.h>
#include <sys/stat.h>
#include <unzip.h>

#include <cstdio>
#include <functional>
#include <memory>
#include <optional>

// The burn_source stream type comes with libisofs; libburn is not used.
#define LIBISOFS_WITHOUT_LIBBURN 1
#include <libisofs.h>

#include "Archive/ArchiveIndex.h"
#include "core/AtomicFile.h"
#include "toolkit/iso/CIsoImage.h"

namespace zel {

namespace {

class Sha256 {
 public:
  Sha256() : context_(EVP_MD_CTX_new(), EVP_MD_CTX_free) {
    ok_ = context_ && EVP_DigestInit_ex(context_.get(), EVP_sha256(), nullptr) == 1;
  }
  void Update(const void* data, size_t size) { ok_ = ok_ && EVP_DigestUpdate(context_.get(), data, size) == 1; }
  std::string Hex() {
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned length = 0;
    if (!ok_ || EVP_DigestFinal_ex(context_.get(), digest, &length) != 1) return {};
    static const char kDigits[] = "0123456789abcdef";
    std::string text;
    for (unsigned i = 0; i < length; ++i) {
      text += kDigits[digest[i] >> 4];
      text += kDigits[digest[i] & 15];
    }
    return text;
  }

 private:
  std::unique_ptr<EVP_MD_CTX, void (*)(EVP_MD_CTX*)> context_;
  bool ok_ = false;
};

// The SHA-256 of the file at a path inside the archive; nullopt when it is not there.
using Hasher = std::function<std::optional<std::string>(const std::string& path)>;

bool Check(const std::string& csv, bool found, const Hasher& hash, ArchiveCheck& check) {
  ArchiveIndex index;
  if (!found) {
    check.error = std::string("no ") + ArchiveIndex::kCsvName + " in the archive";
    return false;
  }
  if (!index.ParseCsv(csv)) {
    check.error = std::string(ArchiveIndex::kCsvName) + " is damaged";
    return false;
  }
  check.listed = index.Rows().size();
  for (const ArchiveIndexRow& row : index.Rows()) {
    const auto hex = hash(row.path);
    if (!hex) {
      check.missing.push_back(row.path);
    } else if (*hex != row.sha256) {
      check.changed.push_back(row.path);
    }
  }
  return true;
}

bool VerifyFolder(const std::string& folder, ArchiveCheck& check) {
  check.kind = "DISK";
  const std::string base = folder.back() == '/' ? folder : folder + "/";
  std::string csv;
  const bool found = ReadWholeFile(base + ArchiveIndex::kCsvName, csv);
  return Check(csv, found, [&](const std::string& path) -> std::optional<std::string> {
    std::string hex = ArchiveIndex::Sha256OfFile(base + path);
    if (hex.empty()) return std::nullopt;
    return hex;
  }, check);
}

bool VerifyZip(const std::string& path, ArchiveCheck& check) {
  check.kind = "ZIP";
  std::string csv;
  const bool found = ArchiveIndex::ReadZipMember(path, ArchiveIndex::kCsvName, csv);
  unzFile zip = unzOpen64(path.c_str());
  if (zip == nullptr) {
    check.error = "not a ZIP archive";
    return false;
  }
  bool ok = Check(csv, found, [&](const std::string& name) -> std::optional<std::string> {
    // Case-sensitive, as the names were written.
    if (unzLocateFile(zip, name.c_str(), 1) != UNZ_OK || unzOpenCurrentFile(zip) != UNZ_OK) return std::nullopt;
    Sha256 digest;
    char buffer[1 << 15];
    int n;
    while ((n = unzReadCurrentFile(zip, buffer, sizeof buffer)) > 0) digest.Update(buffer, static_cast<size_t>(n));
    // A CRC error or a broken stream is a changed file, not a missing one.
    const bool intact = unzCloseCurrentFile(zip) == UNZ_OK && n == 0;
    return intact ? digest.Hex() : std::string("damaged");
  }, check);
  unzClose(zip);
  return ok;
}

// The bytes of a regular file of an imported image, through its stream.
std::optional<std::string> HashIsoFile(IsoImage* image, const std::string& path) {
  IsoNode* node = nullptr;
  const std::string absolute = "/" + path;
  if (iso_tree_path_to_node(image, absolute.c_str(), &node) != 1 || node == nullptr || !ISO_NODE_IS_FILE(node)) {
    return std::nullopt;
  }
  IsoStream* stream = iso_file_get_stream(reinterpret_cast<IsoFile*>(node));
  if (stream == nullptr || iso_stream_open(stream) < 0) return std::string("damaged");
  Sha256 digest;
  char buffer[1 << 15];
  int n;
  while ((n = iso_stream_read(stream, buffer, sizeof buffer)) > 0) digest.Update(buffer, static_cast<size_t>(n));
  iso_stream_close(stream);
  return n == 0 ? digest.Hex() : std::string("damaged");
}

bool VerifyIso(const std::string& path, ArchiveCheck& check) {
  check.kind = "ISO";
  {
    // Creating an image brings the library up with this program's settings.
    iso::CIsoImage library;
    library.Create();
  }
  IsoDataSource* source = nullptr;
  IsoReadOpts* options = nullptr;
  IsoImage* image = nullptr;
  bool ok = false;
  if (iso_data_source_new_from_file(path.c_str(), &source) == 1 && iso_read_opts_new(&options, 0) == 1 &&
      iso_image_new("verify", &image) == 1 && iso_image_import(image, source, options, nullptr) == 1) {
    std::optional<std::string> csv;
    IsoNode* node = nullptr;
    const std::string indexPath = std::string("/") + ArchiveIndex::kCsvName;
    if (iso_tree_path_to_node(image, indexPath.c_str(), &node) == 1 && node != nullptr && ISO_NODE_IS_FILE(node)) {
      IsoStream* stream = iso_file_get_stream(reinterpret_cast<IsoFile*>(node));
      if (stream != nullptr && iso_stream_open(stream) >= 0) {
        std::string text;
        char buffer[1 << 15];
        int n;
        while ((n = iso_stream_read(stream, buffer, sizeof buffer)) > 0) text.append(buffer, static_cast<size_t>(n));
        iso_stream_close(stream);
        if (n == 0) csv = std::move(text);
      }
    }
    ok = Check(csv.value_or(std::string()), csv.has_value(),
               [&](const std::string& name) { return HashIsoFile(image, name); }, check);
  } else {
    check.error = "not an ISO 9660 image";
  }
  if (image != nullptr) iso_image_unref(image);
  if (options != nullptr) iso_read_opts_free(options);
  if (source != nullptr) iso_data_source_unref(source);
  return ok;
}

}  // namespace

bool VerifyArchive(const std::string& path, ArchiveCheck& check) {
  check = ArchiveCheck{};
  struct stat info {};
  if (path.empty() || ::stat(path.c_str(), &info) != 0) {
    check.error = "no such archive";
    return false;
  }
  if (S_ISDIR(info.st_mode)) return VerifyFolder(path, check);
  std::string head;
  {
    FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) {
      check.error = "cannot be read";
      return false;
    }
    char bytes[4] = {};
    head.assign(bytes, std::fread(bytes, 1, sizeof bytes, file));
    std::fclose(file);
  }
  if (head.rfind("PK", 0) == 0) return VerifyZip(path, check);
  return VerifyIso(path, check);
}

}  // namespace zel
