#include "Archive/CZIPArchiver.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <utility>

#include "core/CKlLogger.h"

bool CZIPArchiver::CProgressCallback::Callback(uint64_t processed, uint64_t total) {
  if (progress_ && done_ < total_) {
    double fraction = total > 0 ? static_cast<double>(std::min(processed, total)) / static_cast<double>(total) : 1.0;
    progress_((done_ + fraction) * 100.0 / total_);
  }
  return !IsCancelled();
}

CZIPArchiver::CZIPArchiver(ProgressFunction progress) : progress_(progress), callback_(std::move(progress)) {}

CZIPArchiver::~CZIPArchiver() = default;

int CZIPArchiver::Cancel() {
  RequestCancel();
  callback_.SetCancel(true);
  return 0;
}

int CZIPArchiver::AddFile(const std::string& archivePath, const std::string& sourcePath,
                          const std::string& subFolder, int64_t) {
  queue_.push_back({archivePath, sourcePath, subFolder});
  return 0;
}

IArchiver* CZIPArchiver::Reset() {
  zipSize_ = 0;
  callback_.SetCancel(false);
  return IArchiver::Reset();
}

int CZIPArchiver::Archive() {
  zipSize_ = 0;
  archiveSize_ = 0;
  // A Cancel() that came before this write still counts: it is withdrawn by Reset() only.
  callback_.SetCancel(CancelRequested());
  callback_.SetTotal(static_cast<uint32_t>(queue_.size()));
  uint32_t processed = 0;
  int result = 0;
  zel::zip::CZipArchive zip;
  zip.SetCallback(&callback_);
  passphrase_ = zel::ArchiveIndex::SettingsPassphrase();
  int32_t archivedBefore = archivedCount_;  // what earlier sessions put in place
  uint64_t sizeBefore = 0;                   // the archive's length when the session began
  bool cancelled = false;
  for (const SEntry& entry : queue_) {
    callback_.SetDone(processed);
    if (callback_.IsCancelled()) {
      cancelled = true;
      break;
    }
    if (!zip.IsOpen() || zip.Path() != entry.archivePath) {
      // Queued entries normally share one archive; another one starts a new session.
      if (zip.IsOpen() && !Commit(zip, archivedBefore)) {
        result = -1;
        break;
      }
      archivedBefore = archivedCount_;
      sessionRows_.clear();
      if (!zip.Open(entry.archivePath)) {
        SetLastError(zip.LastError());
        Singleton<CKlLogger>::Instance()->LogLine("Archiver: ZIP %s", zip.LastError().c_str());
        result = -1;
        break;
      }
      zipSize_ = sizeBefore = zip.OccupiedSize();
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
    if (progress_) progress_(processed * 100.0 / queue_.size());
  }
  if (cancelled || result != 0) {
    // A cancelled or failed run leaves the archive as it was before it: the
    // working copy goes.
    processed = 0;
    if (zip.IsOpen()) {
      zip.Abandon();
      archivedCount_ = archivedBefore;
      zipSize_ = sizeBefore;
    }
    sessionRows_.clear();
  } else if (zip.IsOpen() && !Commit(zip, archivedBefore)) {
    result = -1;
  }
  archiveSize_ = static_cast<uint32_t>(std::min<uint64_t>(zipSize_, UINT32_MAX));
  queue_.clear();
  return result != 0 ? result : static_cast<int>(processed);
}

bool CZIPArchiver::AddIndex(zel::zip::CZipArchive& zip) {
  if (sessionRows_.empty()) return true;
  zel::ArchiveIndex index;
  std::string old, error;
  const auto read = zel::ArchiveIndex::ReadZipMember(zip.Path(), zel::ArchiveIndex::kCsvName, old, error);
  if (read == zel::ArchiveIndex::Read::kRefused) {
    SetLastError(error);
    return false;
  }
  if (read == zel::ArchiveIndex::Read::kOk && !index.ParseCsv(old)) {
    index = zel::ArchiveIndex();  // not ours: rebuilt from this session
  }
  for (const zel::ArchiveIndexRow& row : sessionRows_) index.Add(row);
  sessionRows_.clear();
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
  zip.SetCallback(&callback_);
  zel::ArchiveIndex::RemoveTemporaryFolder(folder);
  return ok;
}

bool CZIPArchiver::Commit(zel::zip::CZipArchive& zip, int32_t archivedBefore) {
  if (!AddIndex(zip)) {
    // Without its index the session is not put in place.
    Singleton<CKlLogger>::Instance()->LogLine("Archiver: ZIP %s", LastError().c_str());
    zip.Abandon();
    archivedCount_ = archivedBefore;
    return false;
  }
  zipSize_ = zip.OccupiedSize();
  archiveSize_ = static_cast<uint32_t>(std::min<uint64_t>(zipSize_, UINT32_MAX));
  if (zip.Commit()) return true;
  SetLastError(zip.LastError());
  Singleton<CKlLogger>::Instance()->LogLine("Archiver: ZIP %s", zip.LastError().c_str());
  archivedCount_ = archivedBefore;
  return false;
}

bool CZIPArchiver::Describe(const SEntry& entry, const std::string& name) {
  zel::ArchiveIndexRow row;
  if (!zel::ArchiveIndex::Describe(entry.sourcePath, name, passphrase_, row)) {
    SetLastError(entry.sourcePath + ": cannot be read for the index");
    return false;
  }
  sessionRows_.push_back(std::move(row));
  return true;
}

CZIPArchiver::AddOutcome CZIPArchiver::AddEntry(zel::zip::CZipArchive& zip, const SEntry& entry) {
  auto logger = Singleton<CKlLogger>::Instance();
  std::string name = zel::JoinSubFolder(zel::SubFolderComponents(entry.subFolder));
  if (!name.empty()) name += '/';
  name += zel::FileNameOf(entry.sourcePath);

  auto added = zip.AddFile(entry.sourcePath, name, zel::zip::CZipArchive::kDefaultLevel,
                           zel::zip::CZipArchive::kDefaultBufferSize);
  zipSize_ = zip.OccupiedSize();
  archiveSize_ = static_cast<uint32_t>(std::min<uint64_t>(zipSize_, UINT32_MAX));
  if (added == zel::zip::CZipArchive::AddResult::kCancelled) return AddOutcome::kCancelled;
  if (added == zel::zip::CZipArchive::AddResult::kFailed) {
    SetLastError(zip.LastError());
    logger->LogLine("Archiver: ZIP %s", zip.LastError().c_str());
    return AddOutcome::kFailed;
  }
  if (added == zel::zip::CZipArchive::AddResult::kPresent) {
    logger->LogLine("Archiver: ZIP %s holds %s already", entry.archivePath.c_str(), name.c_str());
    ++archivedCount_;
    return Describe(entry, name) ? AddOutcome::kDone : AddOutcome::kFailed;
  }
  if (threshold_ > 0 && GetSizeMB() >= threshold_) {
    // Over the limit: take this recording back and go on with the next one.
    if (!zip.TakeBack()) {
      SetLastError(zip.LastError());
      logger->LogLine("Archiver: ZIP %s", zip.LastError().c_str());
      return AddOutcome::kFailed;
    }
    zipSize_ = zip.OccupiedSize();
    archiveSize_ = static_cast<uint32_t>(std::min<uint64_t>(zipSize_, UINT32_MAX));
  } else {
    ++archivedCount_;
    if (!Describe(entry, name)) return AddOutcome::kFailed;
  }
  return AddOutcome::kDone;
}
