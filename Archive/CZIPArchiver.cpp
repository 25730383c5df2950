#include "Archive/CZIPArchiver.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
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
  zel::zip::CZipArchive zip;
  zip.SetCallback(&m_Callback);
  m_Passphrase = zel::ArchiveIndex::SettingsPassphrase();
  int32_t archivedBefore = m_ArchivedCount;  // what earlier sessions put in place
  uint64_t sizeBefore = 0;                   // the archive's length when the session began
  bool cancelled = false;
  for (const SEntry& entry : m_Queue) {
    m_Callback.SetDone(processed);
    if (m_Callback.IsCancelled()) {
      cancelled = true;
      break;
    }
    if (!zip.IsOpen() || zip.Path() != entry.archivePath) {
      // Queued entries normally share one archive; another one starts a new session.
      if (zip.IsOpen() && !Commit(zip, archivedBefore)) {
        result = -1;
        break;
      }
      archivedBefore = m_ArchivedCount;
      m_SessionRows.clear();
      if (!zip.Open(entry.archivePath)) {
        SetLastError(zip.LastError());
        Singleton<CKlLogger>::Instance()->LogLine("Archiver: ZIP %s", zip.LastError().c_str());
        result = -1;
        break;
      }
      m_ZipSize = sizeBefore = zip.OccupiedSize();
    }
    AddOutcome outcome = AddEntry(zip, entry);
    if (outcome == AddOutcome::kFailed) {
      result = -1;
      break;
    }
    if (outcome == AddOutcome::kCancelled) {
      cancelled = true;
      break;
    }
    ++processed;
    if (m_Progress) m_Progress(processed * 100.0 / m_Queue.size());
  }
  if (cancelled) {
    // A cancelled run leaves the archive as it was before it: the working copy goes.
    processed = 0;
    if (zip.IsOpen()) {
      zip.Abandon();
      m_ArchivedCount = archivedBefore;
      m_ZipSize = sizeBefore;
    }
    m_SessionRows.clear();
  } else if (zip.IsOpen() && !Commit(zip, archivedBefore)) {
    // What was added before a failure stays in the archive.
    result = -1;
  }
  m_ArchiveSize = static_cast<uint32_t>(std::min<uint64_t>(m_ZipSize, UINT32_MAX));
  m_Queue.clear();
  return result != 0 ? result : static_cast<int>(processed);
}

bool CZIPArchiver::AddIndex(zel::zip::CZipArchive& zip) {
  if (m_SessionRows.empty()) return true;
  zel::ArchiveIndex index;
  std::string old;
  if (zel::ArchiveIndex::ReadZipMember(zip.Path(), zel::ArchiveIndex::kCsvName, old) && !index.ParseCsv(old)) {
    index = zel::ArchiveIndex();  // not ours: rebuilt from this session
  }
  for (const zel::ArchiveIndexRow& row : m_SessionRows) index.Add(row);
  m_SessionRows.clear();
  const std::string folder = index.WriteToTemporaryFolder(zip.Path());
  if (folder.empty()) {
    SetLastError(zip.Path() + ": the index cannot be written: " + std::strerror(errno));
    return false;
  }
  // The index goes in whole or not at all, and a cancel does not stop it.
  zip.SetCallback(nullptr);
  bool ok = true;
  for (const char* name : {zel::ArchiveIndex::kCsvName, zel::ArchiveIndex::kHtmlName}) {
    // The index of an earlier run is replaced, not listed twice.
    if (!zip.Remove(name) || zip.AddFile(folder + "/" + name, name) == zel::zip::CZipArchive::AddResult::kFailed) {
      SetLastError(zip.LastError());
      ok = false;
      break;
    }
  }
  zip.SetCallback(&m_Callback);
  zel::ArchiveIndex::RemoveTemporaryFolder(folder);
  return ok;
}

bool CZIPArchiver::Commit(zel::zip::CZipArchive& zip, int32_t archivedBefore) {
  if (!AddIndex(zip)) {
    // Without its index the session is not put in place.
    Singleton<CKlLogger>::Instance()->LogLine("Archiver: ZIP %s", LastError().c_str());
    zip.Abandon();
    m_ArchivedCount = archivedBefore;
    return false;
  }
  m_ZipSize = zip.OccupiedSize();
  m_ArchiveSize = static_cast<uint32_t>(std::min<uint64_t>(m_ZipSize, UINT32_MAX));
  if (zip.Commit()) return true;
  SetLastError(zip.LastError());
  Singleton<CKlLogger>::Instance()->LogLine("Archiver: ZIP %s", zip.LastError().c_str());
  m_ArchivedCount = archivedBefore;
  return false;
}

bool CZIPArchiver::Describe(const SEntry& entry, const std::string& name) {
  zel::ArchiveIndexRow row;
  if (!zel::ArchiveIndex::Describe(entry.sourcePath, name, m_Passphrase, row)) {
    SetLastError(entry.sourcePath + ": cannot be read for the index");
    return false;
  }
  m_SessionRows.push_back(std::move(row));
  return true;
}

CZIPArchiver::AddOutcome CZIPArchiver::AddEntry(zel::zip::CZipArchive& zip, const SEntry& entry) {
  auto logger = Singleton<CKlLogger>::Instance();
  std::string name = zel::JoinSubFolder(zel::SubFolderComponents(entry.subFolder));
  if (!name.empty()) name += '/';
  name += zel::FileNameOf(entry.sourcePath);

  auto added = zip.AddFile(entry.sourcePath, name, zel::zip::CZipArchive::kDefaultLevel,
                           zel::zip::CZipArchive::kDefaultBufferSize);
  m_ZipSize = zip.OccupiedSize();
  m_ArchiveSize = static_cast<uint32_t>(std::min<uint64_t>(m_ZipSize, UINT32_MAX));
  if (added == zel::zip::CZipArchive::AddResult::kCancelled) return AddOutcome::kCancelled;
  if (added == zel::zip::CZipArchive::AddResult::kFailed) {
    SetLastError(zip.LastError());
    logger->LogLine("Archiver: ZIP %s", zip.LastError().c_str());
    return AddOutcome::kFailed;
  }
  if (added == zel::zip::CZipArchive::AddResult::kPresent) {
    logger->LogLine("Archiver: ZIP %s holds %s already", entry.archivePath.c_str(), name.c_str());
    ++m_ArchivedCount;
    return Describe(entry, name) ? AddOutcome::kDone : AddOutcome::kFailed;
  }
  if (m_Threshold > 0 && GetSizeMB() >= m_Threshold) {
    // Over the limit: take this recording back and go on with the next one.
    if (!zip.TakeBack()) {
      SetLastError(zip.LastError());
      logger->LogLine("Archiver: ZIP %s", zip.LastError().c_str());
      return AddOutcome::kFailed;
    }
    m_ZipSize = zip.OccupiedSize();
    m_ArchiveSize = static_cast<uint32_t>(std::min<uint64_t>(m_ZipSize, UINT32_MAX));
  } else {
    ++m_ArchivedCount;
    if (!Describe(entry, name)) return AddOutcome::kFailed;
  }
  return AddOutcome::kDone;
}
