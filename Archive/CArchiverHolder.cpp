#include "Archive/CArchiverHolder.h"

#include <new>

#include "Archive/CDiskArchiver.h"
#include "Archive/CISOArchiver.h"
#include "Archive/CZIPArchiver.h"

namespace {

std::unique_ptr<IArchiver> MakeBuiltInArchiver(zel::ArchiveType type, IArchiver::ProgressFunction progress) {
  switch (type) {
    case zel::ArchiveType::kDisk: return std::make_unique<CDiskArchiver>(std::move(progress));
    case zel::ArchiveType::kZip: return std::make_unique<CZIPArchiver>(std::move(progress));
    case zel::ArchiveType::kIso: return std::make_unique<CISOArchiver>(std::move(progress));
    default: return nullptr;
  }
}

}  // namespace

CArchiverHolder::CArchiverHolder(IArchiver::ProgressFunction progress)
    : Progress_(std::move(progress)) {}

CArchiverHolder::~CArchiverHolder() { Release(); }

void CArchiverHolder::SetFactory(Factory factory) { Factory_ = std::move(factory); }

int CArchiverHolder::Create(zel::ArchiveType type, const std::string& target) {
  Release();
  if (zel::TextOf(type) == nullptr) return -100;
  std::unique_ptr<IArchiver> archiver;
  try {
    archiver = Factory_ ? Factory_(type, Progress_) : MakeBuiltInArchiver(type, Progress_);
  } catch (const std::bad_alloc&) {
    archiver.reset();
  }
  if (!archiver) return -1;
  std::lock_guard<std::mutex> lock(archiverMutex_);
  Archiver_ = std::move(archiver);
  Type_ = type;
  TargetPath_ = target;
  Accepted_ = 0;
  return 0;
}

std::string CArchiverHolder::ApplyPrefix(const std::string& subFolder, const std::string& prefix) {
  std::string base = prefix;
  while (base.size() > 1 && base.back() == '/') base.pop_back();
  if (base.empty() || subFolder.compare(0, base.size(), base) != 0) return subFolder;
  if (base == "/") return subFolder;
  if (subFolder.size() == base.size()) return subFolder;  // nothing would remain
  if (subFolder[base.size()] != '/') return subFolder;    // "/a/bc" does not begin with "/a/b"
  return subFolder.substr(base.size());
}

int CArchiverHolder::Add(const std::string& path, const std::string& subFolder,
                         const std::string& prefix, int64_t callTime) {
  if (!Archiver_) return -1;
  int result = Archiver_->AddFile(TargetPath_, path, ApplyPrefix(subFolder, prefix), callTime);
  if (result == 0) ++Accepted_;
  return result;
}

void CArchiverHolder::Release() {
  std::unique_ptr<IArchiver> old;
  {
    std::lock_guard<std::mutex> lock(archiverMutex_);
    old = std::move(Archiver_);
  }
}

void CArchiverHolder::Cancel() {
  std::lock_guard<std::mutex> lock(archiverMutex_);
  if (Archiver_) Archiver_->Cancel();
}
