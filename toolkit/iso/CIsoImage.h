#pragma once
#include <atomic>
#include <cstdint>
#include <ctime>
#include <functional>
#include <string>
#include <vector>

struct Iso_Image;
struct Iso_Dir;

// The ISO 9660 layer under the ISO archiver: an image description of libisofs,
// built in memory and written once with ISO 9660, Rock Ridge and Joliet names.
//
// Results are libisofs codes: 1 (or more) for success, negative for failure;
// ErrorText() gives the library's text for every code. A stop request (Stop())
// makes AddFile and Write return kCancelled. Not thread-safe apart from Stop().
namespace zel::iso {

class CIsoImage {
 public:
  static const int kCancelled;        // libisofs' ISO_CANCELED
  static const int kNameNotUnique;    // libisofs' ISO_NODE_NAME_NOT_UNIQUE
  static constexpr uint64_t kBlock = 2048;

  CIsoImage() = default;
  ~CIsoImage();
  CIsoImage(const CIsoImage&) = delete;
  CIsoImage& operator=(const CIsoImage&) = delete;

  // Creates an empty image (freeing one that was there). Duplicate files are not
  // searched for; symbolic links are followed when files are added.
  int Create();
  // Frees the image; IsCreated() is false afterwards.
  void Free();
  bool IsCreated() const { return image_ != nullptr; }

  // Creates the directory `components` (relative to the root), level by level;
  // existing directories are used as they are. `*dir` receives the last level.
  int MakeDirectories(const std::vector<std::string>& components, Iso_Dir** dir);
  // Adds the file at `sourcePath` under its own file name into `components`
  // (created as needed). A name already present there gives kNameNotUnique.
  int AddFile(const std::vector<std::string>& components, const std::string& sourcePath);

  // The expected size of the written image in bytes (within a few blocks).
  uint64_t EstimatedSize() const;

  // Writes the image to `path`: first into a temporary file in the same folder,
  // renamed into place once complete, so a failed or stopped write leaves no
  // partial image under `path` (an older file there stays). `progress` receives
  // percent values while writing. The volume id is made from `path`'s file name.
  int Write(const std::string& path, time_t creationTime, const std::function<void(double)>& progress);

  // Thread-safe: asks AddFile and a running Write to stop.
  void Stop() { stop_.store(true, std::memory_order_release); }
  void ClearStop() { stop_.store(false, std::memory_order_release); }
  bool StopRequested() const { return stop_.load(std::memory_order_acquire); }

  // The library's text for a result code (for failures of the last Write, the
  // library's own report when it gave one).
  std::string ErrorText(int code) const;

 private:
  Iso_Image* image_ = nullptr;
  std::atomic<bool> stop_{false};
  uint64_t fileBlocks_ = 0;     // data blocks of the files added
  uint64_t recordBytes_ = 0;    // directory record bytes, all name forms
  uint64_t directories_ = 1;    // the root included
  std::string lastWriteError_;
  int lastWriteCode_ = 0;
};

}  // namespace zel::iso
