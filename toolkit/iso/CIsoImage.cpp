#include "toolkit/iso/CIsoImage.h"

// The burn_source stream type comes with libisofs; libburn is not used.
#define LIBISOFS_WITHOUT_LIBBURN 1
#include <libisofs.h>
#include <sys/stat.h>

#include <cctype>
#include <cerrno>
#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "core/AtomicFile.h"

namespace zel::iso {

const int CIsoImage::kCancelled = static_cast<int>(ISO_CANCELED);
const int CIsoImage::kNameNotUnique = static_cast<int>(ISO_NODE_NAME_NOT_UNIQUE);

namespace {

// libisofs is initialised once per process and never finished: images may be
// alive until exit.
int InitLibrary() {
  static int result = [] {
    int rc = iso_init();
    if (rc < 0) return rc;
    // Names come in UTF-8 whatever the locale says; failures are fetched from the
    // queue for the message boxes instead of being printed.
    char charset[] = "UTF-8";
    iso_set_local_charset(charset, 0);
    char queue[] = "FAILURE", print[] = "NEVER", id[] = "libisofs";
    iso_set_msgs_severities(queue, print, id);
    return 1;
  }();
  return result;
}

// Drops the library's queued reports.
void DiscardMessages() {
  char never[] = "NEVER";
  int code = 0, imageId = 0;
  char text[ISO_MSGS_MESSAGE_LEN];
  char severity[80];
  iso_obtain_msgs(never, &code, &imageId, text, severity);
}

// The most recent failure the library queued, or "" when there is none.
std::string TakeFailureReport() {
  char minimum[] = "FAILURE";
  std::string report;
  for (;;) {
    int code = 0, imageId = 0;
    char text[ISO_MSGS_MESSAGE_LEN] = {};
    char severity[80] = {};
    if (iso_obtain_msgs(minimum, &code, &imageId, text, severity) <= 0) break;
    report = text;
  }
  return report;
}

// ISO 9660 volume ids take upper-case letters, digits and "_", at most 32.
std::string VolumeIdFor(const std::string& path) {
  size_t slash = path.find_last_of('/');
  std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
  size_t dot = name.find_last_of('.');
  if (dot != std::string::npos && dot > 0) name.erase(dot);
  std::string id;
  for (char c : name) {
    if (id.size() == 32) break;
    unsigned char u = static_cast<unsigned char>(c);
    id += std::isalnum(u) && u < 0x80 ? static_cast<char>(std::toupper(u)) : '_';
  }
  return id.empty() ? "ARCHIVE" : id;
}

// Directory record bytes of one name in the ISO 9660 tree with Rock Ridge fields
// and in the Joliet tree.
uint64_t RecordBytesFor(const std::string& name) {
  return (33 + 32 + 140 + name.size()) + (33 + 2 * name.size() + 1);
}

}  // namespace

CIsoImage::~CIsoImage() { Free(); }

int CIsoImage::Create() {
  Free();
  int rc = InitLibrary();
  if (rc < 0) return rc;
  char name[] = "ARCHIVE";
  rc = iso_image_new(name, &image_);
  if (rc < 0) {
    image_ = nullptr;
    return rc;
  }
  iso_tree_set_follow_symlinks(image_, 1);
  iso_image_set_ignore_aclea(image_, 3);
  fileBlocks_ = 0;
  recordBytes_ = 0;
  directories_ = 1;
  return 1;
}

void CIsoImage::Free() {
  if (image_ != nullptr) iso_image_unref(image_);
  image_ = nullptr;
}

int CIsoImage::MakeDirectories(const std::vector<std::string>& components, Iso_Dir** dir) {
  if (image_ == nullptr) return static_cast<int>(ISO_NULL_POINTER);
  IsoDir* parent = iso_image_get_root(image_);
  for (const std::string& component : components) {
    IsoDir* child = nullptr;
    int rc = iso_tree_add_new_dir(parent, component.c_str(), &child);
    if (rc == static_cast<int>(ISO_NODE_NAME_NOT_UNIQUE)) {
      IsoNode* node = nullptr;
      if (iso_dir_get_node(parent, component.c_str(), &node) != 1 || iso_node_get_type(node) != LIBISO_DIR)
        return rc;  // a file of that name is in the way
      child = reinterpret_cast<IsoDir*>(node);
    } else if (rc < 0) {
      return rc;
    } else {
      ++directories_;
      recordBytes_ += RecordBytesFor(component) + 2 * 34 * 2;  // its own "." and ".." in both trees
    }
    parent = child;
  }
  *dir = parent;
  return 1;
}

int CIsoImage::AddFile(const std::vector<std::string>& components, const std::string& sourcePath) {
  if (StopRequested()) return kCancelled;
  if (image_ == nullptr) return static_cast<int>(ISO_NULL_POINTER);
  IsoDir* dir = nullptr;
  int rc = MakeDirectories(components, &dir);
  if (rc < 0) return rc;
  size_t slash = sourcePath.find_last_of('/');
  std::string name = slash == std::string::npos ? sourcePath : sourcePath.substr(slash + 1);
  IsoNode* node = nullptr;
  rc = iso_tree_add_new_node(image_, dir, name.c_str(), sourcePath.c_str(), &node);
  if (rc < 0) return rc;
  struct stat info {};
  if (::stat(sourcePath.c_str(), &info) == 0)
    fileBlocks_ += (static_cast<uint64_t>(info.st_size) + kBlock - 1) / kBlock;
  recordBytes_ += RecordBytesFor(name);
  return 1;
}

uint64_t CIsoImage::EstimatedSize() const {
  // System area and volume descriptors, path tables, one extent per directory
  // and tree with its records rounded up, then the file data.
  uint64_t blocks = 16 + 4 + 4 * ((directories_ * 24 + kBlock - 1) / kBlock + 1);
  blocks += 2 * directories_ + (recordBytes_ + kBlock - 1) / kBlock;
  blocks += fileBlocks_;
  return blocks * kBlock;
}

std::string CIsoImage::ErrorText(int code) const {
  if (code == lastWriteCode_ && !lastWriteError_.empty()) return lastWriteError_;
  const char* text = iso_error_to_msg(code);
  return text != nullptr ? text : "Unknown error " + std::to_string(code);
}

int CIsoImage::Write(const std::string& path, time_t creationTime, const std::function<void(double)>& progress) {
  lastWriteError_.clear();
  lastWriteCode_ = 0;
  if (image_ == nullptr) return static_cast<int>(ISO_NULL_POINTER);
  if (StopRequested()) return kCancelled;

  iso_image_set_volume_id(image_, VolumeIdFor(path).c_str());
  IsoWriteOpts* opts = nullptr;
  int rc = iso_write_opts_new(&opts, 0);
  if (rc < 0) return rc;
  iso_write_opts_set_iso_level(opts, 2);
  iso_write_opts_set_rockridge(opts, 1);
  iso_write_opts_set_joliet(opts, 1);
  char uuid[] = "";
  iso_write_opts_set_pvd_times(opts, creationTime, creationTime, 0, 0, uuid);

  // A file-system failure is told in its own words ("No space left on device"),
  // not as the library's generic text.
  zel::AtomicFile file(path);
  if (!file.Open()) {
    int error = errno != 0 ? errno : EIO;
    iso_write_opts_free(opts);
    lastWriteCode_ = static_cast<int>(ISO_FILE_CANT_WRITE);
    lastWriteError_ = path + ": " + std::strerror(error);
    return lastWriteCode_;
  }

  DiscardMessages();
  burn_source* source = nullptr;
  rc = iso_image_create_burn_source(image_, opts, &source);
  iso_write_opts_free(opts);
  if (rc < 0) return rc;

  const uint64_t size = static_cast<uint64_t>(source->get_size(source));
  const double total = static_cast<double>(size);
  std::vector<unsigned char> buffer(32 * kBlock);
  uint64_t written = 0;
  int result = 1;
  int fileError = 0;
  for (;;) {
    if (StopRequested()) {
      source->cancel(source);
      result = kCancelled;
      break;
    }
    // The stream delivers whole requests only, so the last one asks for exactly the rest.
    uint64_t remaining = size - written;
    if (remaining == 0) break;
    size_t want = static_cast<size_t>(std::min<uint64_t>(buffer.size(), remaining));
    int n = source->read_xt(source, buffer.data(), static_cast<int>(want));
    if (n < 0 || (n == 0 && written < size)) {
      result = static_cast<int>(ISO_BUF_READ_ERROR);
      break;
    }
    if (n == 0) break;
    if (!file.Write(buffer.data(), static_cast<size_t>(n))) {
      fileError = errno != 0 ? errno : EIO;
      source->cancel(source);
      result = static_cast<int>(ISO_WRITE_ERROR);
      break;
    }
    written += static_cast<uint64_t>(n);
    if (progress && total > 0) progress(std::min(100.0, 100.0 * static_cast<double>(written) / total));
  }
  source->free_data(source);
  free(source);
  if (result == 1) {
    errno = 0;
    if (!file.Commit()) {
      fileError = errno != 0 ? errno : EIO;
      result = static_cast<int>(ISO_WRITE_ERROR);
    }
  }
  if (result < 0 && result != kCancelled) {
    lastWriteCode_ = result;
    std::string report = TakeFailureReport();
    if (fileError != 0) {
      lastWriteError_ = path + ": " + std::strerror(fileError);
    } else {
      lastWriteError_ = report.empty() ? iso_error_to_msg(result) : report;
    }
  }
  return result;
}

}  // namespace zel::iso
