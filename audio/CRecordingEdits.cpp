#include "audio/CRecordingEdits.h"

#include <utility>

#include "audio/CPlaybackManager.h"
#include "audio/WavExport.h"
#include "core/AuditTrail.h"
#include "core/Cp1252.h"
#include "core/WriteTarget.h"
#include "platform/Desktop.h"
#include "recording/CKlRecordFileHdr.h"
#include "recording/CLegalHolds.h"

CRecordingEdits::CRecordingEdits(CPlaybackManager* player, std::string passphrase)
    : player_(player), passphrase_(std::move(passphrase)) {}

bool CRecordingEdits::HeldByPlayer(const std::string& path) const {
  return player_ != nullptr && player_->IsLoaded() && player_->Recording().Path() == path;
}

bool CRecordingEdits::SavePlayerCopy(const std::string& path) {
  if (!player_->Recording().SaveIfDirty()) return false;
  if (onPlayerChanged) onPlayerChanged(path);
  return true;
}

bool CRecordingEdits::ChangeHeader(const std::string& path, const std::function<bool(CKlRecordFileHdr&)>& change,
                                   CKlRecordFileHdr& header) const {
  // The audio is not needed to change a header.
  return header.LoadHeader(path, passphrase_) != 0 && change(header) && header.SaveHeader(path) != 0;
}

bool CRecordingEdits::Audited(const std::string& action, const std::string& detail, const std::string& path,
                              const std::function<bool()>& edit) {
  const std::string before = zel::AuditTrail::Sha256OfFile(path);
  if (!edit()) return false;
  // An encrypted call's caller id is one of its protected details: left out.
  CKlRecordFileHdr header;
  std::string caller;
  if (header.LoadHeader(path, passphrase_) > 0 && !header.IsEncrypted()) caller = header.CallerIdUtf8();
  const std::string after = zel::AuditTrail::Sha256OfFile(path);
  zel::AuditTrail::Record(action, path, detail, caller, before, after == before ? "" : after);
  return true;
}

bool CRecordingEdits::SetImportant(const std::string& path, bool important) {
  return Audited("mark important", important ? "on" : "off", path, [&] {
    const uint32_t value = important ? 1 : 0;
    if (HeldByPlayer(path)) {
      player_->Recording().SetImportant(value);
      return SavePlayerCopy(path);
    }
    const auto mark = [value](CKlRecordFileHdr& h) {
      h.SetImportant(value);
      return true;
    };
    CKlRecordFileHdr header;
    return ChangeHeader(path, mark, header);
  });
}

std::optional<std::string> CRecordingEdits::SetComment(const std::string& path, const std::string& text) {
  std::optional<std::string> stored;
  Audited("annotate", "comment", path, [&] {
    stored = WriteComment(path, text);
    return stored.has_value();
  });
  return stored;
}

std::optional<std::string> CRecordingEdits::WriteComment(const std::string& path, const std::string& text) {
  if (HeldByPlayer(path)) {
    player_->Recording().SetComment(text);
    if (!SavePlayerCopy(path)) return std::nullopt;
    return player_->Recording().GetComment();
  }
  const std::string raw = zel::Utf8ToCp1252(text).substr(0, CKlRecordFileHdr::kCommentSize - 1);
  const auto comment = [&raw](CKlRecordFileHdr& h) {
    h.SetComment(raw);
    return true;
  };
  CKlRecordFileHdr header;
  if (!ChangeHeader(path, comment, header)) return std::nullopt;
  return header.CommentUtf8();
}

std::string CRecordingEdits::CommentKeepingBookmark(const CKlRecordFileHdr& header, const std::string& text) {
  int start = -1, end = -1;
  if (!header.GetBookmark(start, end)) return text;
  // Rebuilt on a copy: the recording keeps its own comment until it is set.
  CKlRecordFileHdr scratch = header;
  scratch.SetComment(zel::Utf8ToCp1252(text).substr(0, CKlRecordFileHdr::kCommentSize - 1));
  scratch.SetBookmark(start, end);
  return scratch.CommentUtf8();
}

bool CRecordingEdits::SetBookmark(const std::string& path, int start, int end) {
  return Audited("bookmark", start < 0 ? "removed" : "set", path, [&] {
    if (HeldByPlayer(path)) return player_->Recording().SetBookmark(start, end) == 1 && SavePlayerCopy(path);
    const auto bookmark = [start, end](CKlRecordFileHdr& h) { return h.SetBookmark(start, end) == 1; };
    CKlRecordFileHdr header;
    return ChangeHeader(path, bookmark, header);
  });
}

bool CRecordingEdits::Trash(const std::string& path, std::string* refusal) {
  if (auto hold = Singleton<CLegalHolds>::Instance()->HoldFor(path)) {
    if (refusal != nullptr) *refusal = CLegalHolds::Describe(*hold);
    return false;
  }
  if (!LetGo(path)) return false;
  const std::string before = zel::AuditTrail::Sha256OfFile(path);
  if (!zel::MoveToTrash(path)) return false;
  zel::AuditTrail::Record("delete", path, "to the trash", "", before);
  return true;
}

bool CRecordingEdits::LetGo(const std::string& path) {
  if (!HeldByPlayer(path)) return true;
  if (releasePlayer)
    releasePlayer();
  else
    player_->Close();
  // A player still writing the call keeps it.
  return !HeldByPlayer(path);
}

bool CRecordingEdits::CopyNative(const std::string& path, const std::string& folder) {
  const std::string target = (folder.empty() || folder.back() == '/' ? folder : folder + "/") +
                             zel::BaseName(path) + ".zel";
  if (!zel::CopyRecordingFile(path, target)) return false;
  zel::AuditTrail::Record("export", path, "zel to " + target);
  return true;
}
