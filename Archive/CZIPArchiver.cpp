#include "Archive/CZIPArchiver.h"

#include <algorithm>
#include <utility>

#include "core/CKlLogger.h"

bool CZIPArchiver::CProgressCallback::Callback(uint64_t processed, uint64_t total) {
  if (m_Progress && m_Done < m_Total) {
    double fraction = total > 0 ? static_cast<double>(std::min(processed, total)) / static_cast<double>(total) : 1.0;
    m_Progress((m_Done + fraction) * 100.0 / m_Total);
  }
  return !IsCancelled();
}

CZIPArchiver::CZIPArchiver(ProgressFunction progress) : m_Progress(progress), m_Callback(std::move(progress)) {}

CZIPArchiver::~CZIPArchiver() = default;

int CZIPArchiver::Cancel() {
  RequestCancel();
  m_Callback.SetCancel(true);
  return 0;
}

int CZIPArchiver::AddFile(const std::string& archivePath, const std::string& sourcePath,
                          const std::string& subFolder, int64_t) {
  m_Queue.push_back({archivePath, sourcePath, subFolder});
  return 0;
}

IArchiver* CZIPArchiver::Reset() {
  m_ZipSize = 0;
  m_Callback.SetCancel(false);
  return IArchiver::Reset();
}

int CZIPArchiver::Archive() {
  m_ZipSize = 0;
  m_ArchiveSize = 0;
  // A Cancel() that came before this write still counts: it is withdrawn by Reset() only.
  m_Callback.SetCancel(CancelRequested());
  m_Callback.SetTotal(static_cast<uint32_t>(m_Queue.size()));
  uint32_t processed = 0;
  int result = 0;
  for (const SEntry& entry : m_Queue) {
    m_Callback.SetDone(processed);
    AddOutcome outcome = AddEntry(entry);
    if (outcome == AddOutcome::kFailed) {
      result = -1;
      break;
    }
    if (outcome == AddOutcome::kCancelled) {
      processed = 0;
      break;
    }
    ++processed;
    if (m_Progress) m_Progress(processed * 100.0 / m_Queue.size());
  }
  m_Queue.clear();
  return result != 0 ? result : static_cast<int>(processed);
}

CZIPArchiver::AddOutcome CZIPArchiver::AddEntry(const SEntry& entry) {
  auto logger = Singleton<CKlLogger>::Instance();
  if (m_Callback.IsCancelled()) return AddOutcome::kCancelled;
  zel::zip::CZipArchive zip;
  zip.SetCallback(&m_Callback);
  if (!zip.Open(entry.archivePath)) {
    logger->LogLine("Archiver: ZIP %s", zip.LastError().c_str());
    return AddOutcome::kFailed;
  }
  std::string name = zel::JoinSubFolder(zel::SubFolderComponents(entry.subFolder));
  if (!name.empty()) name += '/';
  name += zel::FileNameOf(entry.sourcePath);

  auto added = zip.AddFile(entry.sourcePath, name, zel::zip::CZipArchive::kDefaultLevel,
                           zel::zip::CZipArchive::kDefaultBufferSize);
  bool closed = zip.Close();
  if (added != zel::zip::CZipArchive::AddResult::kAdded || !closed) {
    // Take the damaged add back so that the archive keeps the recordings before it.
    std::string error = zip.LastError();
    if (!zip.Restore()) logger->LogLine("Archiver: ZIP %s", zip.LastError().c_str());
    m_ZipSize = zip.OccupiedSize();
    m_ArchiveSize = static_cast<uint32_t>(std::min<uint64_t>(m_ZipSize, UINT32_MAX));
    if (added == zel::zip::CZipArchive::AddResult::kCancelled) return AddOutcome::kCancelled;
    logger->LogLine("Archiver: ZIP %s", error.c_str());
    return AddOutcome::kFailed;
  }
  m_ZipSize = zip.OccupiedSize();
  if (m_Threshold > 0 && GetSizeMB() >= m_Threshold) {
    // Over the limit: take this recording back and go on with the next one.
    if (!zip.Restore()) {
      logger->LogLine("Archiver: ZIP %s", zip.LastError().c_str());
      return AddOutcome::kFailed;
    }
    m_ZipSize = zip.OccupiedSize();
  } else {
    ++m_ArchivedCount;
  }
  m_ArchiveSize = static_cast<uint32_t>(std::min<uint64_t>(m_ZipSize, UINT32_MAX));
  return AddOutcome::kDone;
}
