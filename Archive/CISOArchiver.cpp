#include "Archive/CISOArchiver.h"

#include <cerrno>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <utility>

#include "core/CKlLogger.h"
#include "core/MessageSink.h"

CISOArchiver::CISOArchiver(ProgressFunction progress) : m_Progress(std::move(progress)) {
  int rc = m_Image.Create();
  if (rc < 0) zel::ShowMessage(m_Image.ErrorText(rc), IMessageSink::Icon::Information);
}

CISOArchiver::~CISOArchiver() = default;

int CISOArchiver::Cancel() {
  RequestCancel();
  m_Image.Stop();
  return 0;
}

IArchiver* CISOArchiver::Reset() {
  m_Image.ClearStop();
  return IArchiver::Reset();
}

int CISOArchiver::GetSizeMB() { return static_cast<int>(m_Image.EstimatedSize() >> 20); }

int CISOArchiver::AddFile(const std::string& archivePath, const std::string& sourcePath,
                          const std::string& subFolder, int64_t) {
  m_ImagePath = archivePath;
  if (ThresholdReached()) return -1;
  if (CancelRequested()) return kCancelledResult;
  if (!m_Image.IsCreated()) {
    // The image of an earlier write was freed: start a new one.
    m_Added.clear();
    int rc = m_Image.Create();
    if (rc < 0) {
      zel::ShowMessage(m_Image.ErrorText(rc), IMessageSink::Icon::Information);
      return -1;
    }
  }
  const auto components = zel::SubFolderComponents(subFolder);
  int rc = m_Image.AddFile(components, sourcePath);
  if (rc >= 0) {
    std::string inImage = zel::JoinSubFolder(components);
    m_Added.push_back({sourcePath, inImage + (inImage.empty() ? "" : "/") + zel::FileNameOf(sourcePath)});
    ++m_ArchivedCount;
    return 0;
  }
  if (rc == zel::iso::CIsoImage::kCancelled) return kCancelledResult;
  std::string text = m_Image.ErrorText(rc);
  SetLastError(sourcePath + ": " + text, true);
  Singleton<CKlLogger>::Instance()->LogLine("Archiver: ISO %s: %s", sourcePath.c_str(), text.c_str());
  zel::ShowMessage(text, IMessageSink::Icon::Information);
  return -1;
}

int CISOArchiver::Archive() {
  // Until the image is written no recording is in it.
  int32_t accepted = m_ArchivedCount;
  m_ArchivedCount = 0;
  if (CancelRequested()) return kCancelledResult;
  if (!m_Image.IsCreated() || m_ImagePath.empty()) return -1;
  const std::string indexFolder = AddIndex();
  if (indexFolder.empty()) {
    Singleton<CKlLogger>::Instance()->LogLine("Archiver: ISO %s: %s", m_ImagePath.c_str(), LastError().c_str());
    zel::ShowMessage(LastError(), IMessageSink::Icon::Information);
    return -1;
  }
  int rc = m_Image.Write(m_ImagePath, std::time(nullptr), m_Progress);
  zel::ArchiveIndex::RemoveTemporaryFolder(indexFolder);
  if (rc == zel::iso::CIsoImage::kCancelled) return kCancelledResult;
  if (rc < 0) {
    std::string text = m_Image.ErrorText(rc);
    SetLastError(text, true);
    Singleton<CKlLogger>::Instance()->LogLine("Archiver: ISO %s: %s", m_ImagePath.c_str(), text.c_str());
    zel::ShowMessage(text, IMessageSink::Icon::Information);
    return -1;
  }
  m_Image.Free();
  m_Added.clear();
  m_ArchivedCount = accepted;
  return 0;
}

std::string CISOArchiver::AddIndex() {
  const std::string passphrase = zel::ArchiveIndex::SettingsPassphrase();
  zel::ArchiveIndex index;
  for (const SAdded& added : m_Added) {
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
    SetLastError(m_ImagePath + ": the index cannot be written: " + std::strerror(errno), true);
    return {};
  }
  for (const char* name : {zel::ArchiveIndex::kCsvName, zel::ArchiveIndex::kHtmlName}) {
    int rc = m_Image.AddFile({}, folder + "/" + name);
    if (rc < 0) {
      SetLastError(m_Image.ErrorText(rc), true);
      zel::ArchiveIndex::RemoveTemporaryFolder(folder);
      return {};
    }
  }
  return folder;
}
