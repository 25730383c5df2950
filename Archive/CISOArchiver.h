#pragma once
#include <cstdint>
#include <string>

#include "Archive/ArchiveIndex.h"
#include "Archive/IArchiver.h"
#include "toolkit/iso/CIsoImage.h"

// Archives recordings into one ISO 9660 image with Rock Ridge and Joliet names.
// AddFile puts each recording into the image description at once (nothing is
// read yet); Archive writes the image file. libisofs hands the image out as a
// stream that this archiver reads and writes itself, so progress goes straight to
// this archiver's own progress function. The image's root also holds "index.csv"
// and "index.html", listing the calls written into it.
class CISOArchiver : public IArchiver {
 public:
  // Shows the library's text (information icon) when the image cannot be created.
  explicit CISOArchiver(ProgressFunction progress);
  ~CISOArchiver() override;

  // Writes the image to the archive path of the last AddFile, through a
  // temporary file renamed into place when complete. Returns 0 and frees the
  // image on success; -1 after showing the library's text when the write fails;
  // -101 without a message when it was cancelled. No partial image is left.
  int Archive() override;
  int Cancel() override;
  // Adds the recording to the image under "<sub-folder>/<file name>". Returns 0
  // when added; -1 when the threshold is reached (silently) or the library
  // refused it (its text is shown, e.g. for a name already present); -101
  // silently when cancelled. A refused recording leaves the archived count alone.
  int AddFile(const std::string& archivePath, const std::string& sourcePath, const std::string& subFolder,
              int64_t callTime) override;
  zel::ArchiveType GetType() override { return zel::ArchiveType::kIso; }
  // The estimated size of the image in MiB.
  int GetSizeMB() override;
  IArchiver* Reset() override;

  static constexpr int kCancelledResult = -101;

 private:
  struct SAdded {
    std::string sourcePath;
    std::string pathInImage;
  };
  // Adds the index of the recordings in added_ to the image; the folder holding
  // its files must stay until the image is written. "" on failure.
  std::string AddIndex();

  zel::iso::CIsoImage image_;
  std::vector<SAdded> added_;  // the recordings in the image, in order
  std::string imagePath_;
  ProgressFunction progress_;
};
