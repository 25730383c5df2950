#include "Archive/ArchiveVerifier.h"

#include <dirent.h>
#include <fcntl.h>
#include <openssl/evp.h>
#include <sys/stat.h>
#include <unistd.h>
#include <unzip.h>

#include <cctype>
#include <cerrno>
#include <cstring>
#include <functional>
#include <memory>
#include <set>
#include <vector>

// The burn_source stream type comes with libisofs; libburn is not used.
#define LIBISOFS_WITHOUT_LIBBURN 1
#include <libisofs.h>

#include "Archive/ArchiveIndex.h"
#include "Archive/IArchiver.h"
#include "core/RegularFile.h"
#include "toolkit/iso/CIsoImage.h"
#include "toolkit/zip/CZipArchive.h"

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

// What became of a path the index lists.
struct Found {
  enum Kind { kMissing, kRefused, kHashed } kind = kMissing;
  std::string text;  // the SHA-256, or why the file was refused
  static Found Missing() { return {kMissing, {}}; }
  static Found Refused(std::string why) { return {kRefused, std::move(why)}; }
  static Found Hashed(std::string hex) { return {kHashed, std::move(hex)}; }
};
using Hasher = std::function<Found(const std::string& path)>;

bool IsCallFile(const std::string& name) {
  if (name.size() < 4) return false;
  std::string tail = name.substr(name.size() - 4);
  for (char& c : tail) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return tail == ".zel";
}

// Why a listed path may not be read: the index is data from the archive, and a
// path of it must not name a file outside.
std::string UnsafePath(const std::string& path) {
  if (path.empty()) return "an empty path";
  if (path.front() == '/' || path.front() == '\\') return "an absolute path";
  if (path.find('\0') != std::string::npos) return "a path with a NUL byte";
  size_t start = 0;
  while (start <= path.size()) {
    size_t end = path.find_first_of("/\\", start);
    if (end == std::string::npos) end = path.size();
    const std::string part = path.substr(start, end - start);
    if (part == "..") return "a path leading out of the archive";
    start = end + 1;
  }
  return std::string();
}

std::string TooLarge(uint64_t limit) { return "larger than " + std::to_string(limit >> 20) + " MiB"; }

bool Check(const std::string& csv, ArchiveIndex::Read read, const std::string& readError, const Hasher& hash,
           const std::vector<std::string>& calls, ArchiveCheck& check) {
  ArchiveIndex index;
  if (read == ArchiveIndex::Read::kRefused) {
    check.error = readError;
    return false;
  }
  if (read == ArchiveIndex::Read::kMissing) {
    check.error = std::string("no ") + ArchiveIndex::kCsvName + " in the archive";
    return false;
  }
  if (!index.ParseCsv(csv)) {
    check.error = std::string(ArchiveIndex::kCsvName) + " is damaged";
    return false;
  }
  check.listed = index.Rows().size();
  std::set<std::string> listed;
  for (const ArchiveIndexRow& row : index.Rows()) {
    listed.insert(row.path);
    if (std::string why = UnsafePath(row.path); !why.empty()) {
      check.refused.push_back(row.path + ": " + why);
      continue;
    }
    const Found found = hash(row.path);
    if (found.kind == Found::kMissing) {
      check.missing.push_back(row.path);
    } else if (found.kind == Found::kRefused) {
      check.refused.push_back(row.path + ": " + found.text);
    } else if (found.text != row.sha256) {
      check.changed.push_back(row.path);
    }
  }
  for (const std::string& call : calls) {
    if (listed.count(call) == 0) check.unlisted.push_back(call);
  }
  return true;
}

Found HashDescriptor(int fd, uint64_t limit) {
  struct stat info {};
  if (::fstat(fd, &info) != 0) return Found::Refused(std::strerror(errno));
  if (static_cast<uint64_t>(info.st_size) > limit) return Found::Refused(TooLarge(limit));
  Sha256 digest;
  std::vector<char> buffer(1 << 16);
  uint64_t total = 0;
  for (;;) {
    const ssize_t n = ::read(fd, buffer.data(), buffer.size());
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return Found::Refused(std::strerror(errno));
    if (n == 0) break;
    total += static_cast<uint64_t>(n);
    if (total > limit) return Found::Refused(TooLarge(limit));  // still growing
    digest.Update(buffer.data(), static_cast<size_t>(n));
  }
  return Found::Hashed(digest.Hex());
}

// Hashes the file at `path` below the folder `root` without following any link.
Found HashInside(int root, const std::string& path) {
  std::vector<std::string> parts;
  for (size_t start = 0; start <= path.size();) {
    size_t end = path.find('/', start);
    if (end == std::string::npos) end = path.size();
    if (end > start && path.compare(start, end - start, ".") != 0) parts.push_back(path.substr(start, end - start));
    start = end + 1;
  }
  if (parts.empty()) return Found::Missing();
  int folder = ::dup(root);
  for (size_t i = 0; folder >= 0 && i + 1 < parts.size(); ++i) {
    const int next = ::openat(folder, parts[i].c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    const int error = errno;
    ::close(folder);
    folder = next;
    if (folder < 0 && error == ENOENT) return Found::Missing();
    if (folder < 0) return Found::Refused(error == ELOOP || error == ENOTDIR ? "leads through a symbolic link or file"
                                                                            : std::strerror(error));
  }
  if (folder < 0) return Found::Refused(std::strerror(errno));
  Found found;
  struct stat info {};
  if (::fstatat(folder, parts.back().c_str(), &info, AT_SYMLINK_NOFOLLOW) != 0) {
    found = errno == ENOENT ? Found::Missing() : Found::Refused(std::strerror(errno));
  } else if (S_ISLNK(info.st_mode)) {
    found = Found::Refused("a symbolic link");
  } else if (!S_ISREG(info.st_mode)) {
    found = Found::Refused("not a regular file");
  } else {
    const int fd = OpenRegularFile(parts.back(), O_RDONLY | O_NOFOLLOW, folder);
    found = fd < 0 ? Found::Refused(std::strerror(errno)) : HashDescriptor(fd, ArchiveIndex::kMaxCallBytes);
    if (fd >= 0) ::close(fd);
  }
  ::close(folder);
  return found;
}

// The call files below `folder` ("/"-joined, relative), links not followed.
void CallsInFolder(const std::string& folder, const std::string& prefix, std::vector<std::string>& calls, int depth) {
  if (depth > 64) return;
  DIR* dir = ::opendir(folder.c_str());
  if (dir == nullptr) return;
  while (struct dirent* item = ::readdir(dir)) {
    const std::string name = item->d_name;
    if (name == "." || name == "..") continue;
    struct stat info {};
    const std::string path = folder + "/" + name;
    if (::lstat(path.c_str(), &info) != 0) continue;
    if (S_ISDIR(info.st_mode)) {
      CallsInFolder(path, prefix + name + "/", calls, depth + 1);
    } else if (IsCallFile(name)) {
      calls.push_back(prefix + name);
    }
  }
  ::closedir(dir);
}

bool VerifyFolder(const std::string& folder, ArchiveCheck& check) {
  check.kind = "DISK";
  const std::string base = folder.back() == '/' ? folder : folder + "/";
  std::string csv, error;
  const ArchiveIndex::Read read = ArchiveIndex::ReadFolderIndex(folder, csv, error);
  const int root = ::open(base.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (root < 0) {
    check.error = std::strerror(errno);
    return false;
  }
  std::vector<std::string> calls;
  CallsInFolder(WithoutTrailingSlashes(base).empty() ? "" : WithoutTrailingSlashes(base), "", calls, 0);
  const bool ok = Check(csv, read, error, [&](const std::string& path) { return HashInside(root, path); }, calls, check);
  ::close(root);
  return ok;
}

bool VerifyZip(const std::string& path, ArchiveCheck& check) {
  check.kind = "ZIP";
  std::string csv, error;
  const ArchiveIndex::Read read = ArchiveIndex::ReadZipMember(path, ArchiveIndex::kCsvName, csv, error);
  std::vector<zip::CZipArchive::ListedEntry> members;
  zip::CZipArchive::List(path, members);
  std::vector<std::string> calls;
  for (const auto& member : members) {
    if (IsCallFile(member.Name)) calls.push_back(member.Name);
  }
  unzFile zip = unzOpen64(path.c_str());
  if (zip == nullptr) {
    check.error = "not a ZIP archive";
    return false;
  }
  bool ok = Check(csv, read, error, [&](const std::string& name) -> Found {
    // Case-sensitive, as the names were written.
    if (unzLocateFile(zip, name.c_str(), 1) != UNZ_OK) return Found::Missing();
    unz_file_info64 info{};
    if (unzGetCurrentFileInfo64(zip, &info, nullptr, 0, nullptr, 0, nullptr, 0) != UNZ_OK) {
      return Found::Hashed("damaged");
    }
    // The reader stops at the size the directory gives: that size bounds the work.
    if (info.uncompressed_size > ArchiveIndex::kMaxCallBytes) {
      return Found::Refused("would inflate to " + TooLarge(ArchiveIndex::kMaxCallBytes));
    }
    if (unzOpenCurrentFile(zip) != UNZ_OK) return Found::Hashed("damaged");
    Sha256 digest;
    char buffer[1 << 15];
    int n;
    while ((n = unzReadCurrentFile(zip, buffer, sizeof buffer)) > 0) digest.Update(buffer, static_cast<size_t>(n));
    // A CRC error or a broken stream is a changed file, not a missing one.
    const bool intact = unzCloseCurrentFile(zip) == UNZ_OK && n == 0;
    return Found::Hashed(intact ? digest.Hex() : std::string("damaged"));
  }, calls, check);
  unzClose(zip);
  return ok;
}

// The bytes of a regular file of an imported image, through its stream.
Found HashIsoFile(IsoImage* image, const std::string& path) {
  IsoNode* node = nullptr;
  const std::string absolute = "/" + path;
  if (iso_tree_path_to_node(image, absolute.c_str(), &node) != 1 || node == nullptr || !ISO_NODE_IS_FILE(node)) {
    return Found::Missing();
  }
  if (static_cast<uint64_t>(iso_file_get_size(reinterpret_cast<IsoFile*>(node))) > ArchiveIndex::kMaxCallBytes) {
    return Found::Refused(TooLarge(ArchiveIndex::kMaxCallBytes));
  }
  IsoStream* stream = iso_file_get_stream(reinterpret_cast<IsoFile*>(node));
  if (stream == nullptr || iso_stream_open(stream) < 0) return Found::Hashed("damaged");
  Sha256 digest;
  char buffer[1 << 15];
  int n;
  while ((n = iso_stream_read(stream, buffer, sizeof buffer)) > 0) digest.Update(buffer, static_cast<size_t>(n));
  iso_stream_close(stream);
  return Found::Hashed(n == 0 ? digest.Hex() : std::string("damaged"));
}

void CallsInImage(IsoDir* dir, const std::string& prefix, std::vector<std::string>& calls, int depth) {
  IsoDirIter* iter = nullptr;
  if (depth > 64 || iso_dir_get_children(dir, &iter) != 1) return;
  IsoNode* node = nullptr;
  while (iso_dir_iter_next(iter, &node) == 1) {
    const std::string name = iso_node_get_name(node);
    if (ISO_NODE_IS_DIR(node)) {
      CallsInImage(reinterpret_cast<IsoDir*>(node), prefix + name + "/", calls, depth + 1);
    } else if (IsCallFile(name)) {
      calls.push_back(prefix + name);
    }
  }
  iso_dir_iter_free(iter);
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
    std::string csv, error;
    ArchiveIndex::Read read = ArchiveIndex::Read::kMissing;
    IsoNode* node = nullptr;
    const std::string indexPath = std::string("/") + ArchiveIndex::kCsvName;
    if (iso_tree_path_to_node(image, indexPath.c_str(), &node) == 1 && node != nullptr && ISO_NODE_IS_FILE(node)) {
      IsoStream* stream = iso_file_get_stream(reinterpret_cast<IsoFile*>(node));
      if (static_cast<uint64_t>(iso_file_get_size(reinterpret_cast<IsoFile*>(node))) > ArchiveIndex::kMaxIndexBytes) {
        read = ArchiveIndex::Read::kRefused;
        error = std::string(ArchiveIndex::kCsvName) + ": " + TooLarge(ArchiveIndex::kMaxIndexBytes);
      } else if (stream != nullptr && iso_stream_open(stream) >= 0) {
        char buffer[1 << 15];
        int n;
        while ((n = iso_stream_read(stream, buffer, sizeof buffer)) > 0) csv.append(buffer, static_cast<size_t>(n));
        iso_stream_close(stream);
        if (n == 0) read = ArchiveIndex::Read::kOk;
      }
    }
    std::vector<std::string> calls;
    CallsInImage(iso_image_get_root(image), "", calls, 0);
    ok = Check(csv, read, error, [&](const std::string& name) { return HashIsoFile(image, name); }, calls, check);
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
    // A FIFO or device under the archive's name would hold the reader.
    const int fd = OpenRegularFile(path);
    if (fd < 0) {
      check.error = errno == EINVAL ? "not a regular file" : "cannot be read";
      return false;
    }
    char bytes[4] = {};
    const ssize_t n = ::read(fd, bytes, sizeof bytes);
    head.assign(bytes, n > 0 ? static_cast<size_t>(n) : 0);
    ::close(fd);
  }
  if (head.rfind("PK", 0) == 0) return VerifyZip(path, check);
  return VerifyIso(path, check);
}

}  // namespace zel
