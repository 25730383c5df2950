#include "Archive/CISOArchiver.h"

#include <cerrno>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <utility>

#include "core/CKlLogger.h"
#include "core/MessageSink.h"

CISOArchiver::CISOArchiver(ProgressFunction progress) : progress_(std::move(progress)) {
  int rc = image_.Create();
  if (rc < 0) zel::ShowMessage(image_.ErrorText(rc), IMessageSink::Icon::Information);
}

CISOArchiver::~CISOArchiver() = default;

int CISOArchiver::Cancel() {
  RequestCancel();
  image_.Stop();
  return 0;
}

IArchiver* CISOArchiver::Reset() {
  image_.ClearStop();
  return IArchiver::Reset();
}

int CISOArchiver::GetSizeMB() { return static_cast<int>(image_.EstimatedSize() >> 20); }

int CISOArchiver::AddFile(const std::string& archivePath, const std::string& sourcePath,
                          const std::string& subFolder, int64_t) {
  imagePath_ = archivePath;
  if (ThresholdReached()) return -1;
  if (CancelRequested()) return kCancelledResult;
  if (!image_.IsCreated()) {
    // The image of an earlier write was freed: start a new one.
    added_.clear();
    int rc = image_.Create();
    if (rc < 0) {
      zel::ShowMessage(image_.ErrorText(rc), IMessageSink::Icon::Information);
      return -1;
    }
  }
  const auto components = zel::SubFolderComponents(subFolder);
  int rc = image_.AddFile(components, sourcePath);
  if (rc >= 0) {
    std::string inImage = zel::JoinSubFolder(components);
    added_.push_back({sourcePath, inImage + (inImage.empty() ? "" : "/") + zel::FileNameOf(sourcePath)});
    ++archivedCount_;
    return 0;
  }
  if (rc == zel::iso::CIsoImage::kCancelled) return kCancelledResult;
  std::string text = image_.ErrorText(rc);
  SetLastError(sourcePath + ": " + text, true);
  Singleton<CKlLogger>::Instance()->LogLine("Archiver: ISO %s: %s", sourcePath.c_str(), text.c_str());
  zel::ShowMessage(text, IMessageSink::Icon::Information);
  return -1;
}

int CISOArchiver::Archive() {
  // Until the image is written no recording is in it.
  int32_t accepted = archivedCount_;
  archivedCount_ = 0;
  if (CancelRequested()) return kCancelledResult;
  if (!image_.IsCreated() || imagePath_.empty()) return -1;
  const std::string indexFolder = AddIndex();
  if (indexFolder.empty()) {
    Singleton<CKlLogger>::Instance()->LogLine("Archiver: ISO %s: %s", imagePath_.c_str(), LastError().c_str());
    zel::ShowMessage(LastError(), IMessageSink::Icon::Information);
    return -1;
  }
  int rc = image_.Write(imagePath_, std::time(nullptr), progress_);
  zel::ArchiveIndex::RemoveTemporaryFolder(indexFolder);
  if (rc == zel::iso::CIsoImage::kCancelled) return kCancelledResult;
  if (rc < 0) {
    std::string text = image_.ErrorText(rc);
    SetLastError(text, true);
    Singleton<CKlLogger>::Instance()->LogLine("Archiver: ISO %s: %s", imagePath_.c_str(), text.c_str());
    zel::ShowMessage(text, IMessageSink::Icon::Information);
    return -1;
  }
  image_.Free();
  added_.clear();
  archivedCount_ = accepted;
  return 0;
}

std::string CISOArchiver::AddIndex() {
  const std::string passphrase = zel::ArchiveIndex::SettingsPassphrase();
  zel::ArchiveIndex index;
  for (const SAdded& added : added_) {
    zel::ArchiveIndexRow row;
    if (!zel::ArchiveIndex::Describe(added.sourcePath, added.pathInImage, passphrase, row)) {
      SetLastError(added.sourcePath + ": cannot be read", true);
      return {};
    }
    index.Add(std::move(row));
  }
  // In the temporary folder, so that an unwritable target is reported by the
  // image write itself in the library's words.
  std::error_code ec;
  const std::string folder = index.WriteToTemporaryFolder((std::filesystem::temp_directory_path(ec) / "zel-image").string());
  if (folder.empty()) {
    SetLastError(imagePath_ + ": the index cannot be written: " + std::strerror(errno), true);
    return {};
  }
  for (const char* name : {zel::ArchiveIndex::kCsvName, zel::ArchiveIndex::kHtmlName}) {
    int rc = image_.AddFile({}, folder + "/" + name);
    if (rc < 0) {
      SetLastError(image_.ErrorText(rc), true);
      zel::ArchiveIndex::RemoveTemporaryFolder(folder);
      return {};
    }
  }
  return folder;
}
