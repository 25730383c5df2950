#pragma once
#include <functional>
#include <optional>
#include <string>

class CKlRecordFileHdr;
class CPlaybackManager;

// The changes a user makes to recordings' files: the important mark, the comment,
// moving them to the trash and native copies in a folder. A file the player holds is
// changed through the player's copy of its header, which would otherwise write the
// old values back when it next saves; any other file through its header alone.
// Each change returns false (or nothing) when the file was not changed as asked, and
// each done adds its line to the audit trail (which field, never its text).
class CRecordingEdits {
 public:
  // `player` (may be null: no file is held) must outlive this object; `passphrase`
  // opens encrypted headers.
  CRecordingEdits(CPlaybackManager* player, std::string passphrase);

  // Called after a file the player holds was changed through its copy, so that the
  // player's window shows the change.
  std::function<void(const std::string& path)> onPlayerChanged;
  // Lets the player go of its file before the file goes to the trash (a window also
  // clears what it shows). Without it the playback manager closes the file.
  std::function<void()> releasePlayer;

  bool HeldByPlayer(const std::string& path) const;

  bool SetImportant(const std::string& path, bool important);

  // Replaces the comment by `text` (UTF-8); returns the comment as stored (Windows-1252
  // cut to the header's field, back in UTF-8), or nothing when it could not be written.
  std::optional<std::string> SetComment(const std::string& path, const std::string& text);
  // The text to store for a new comment `text` that keeps the bookmark of `header`:
  // with a bookmark, the comment as `header` would store it with the bookmark line
  // rebuilt in front (Windows-1252 and the field's length applied); else `text` itself.
  static std::string CommentKeepingBookmark(const CKlRecordFileHdr& header, const std::string& text);

  // Sets the bookmark to the seconds [start, end) (start < end), or removes it for
  // -1, -1; the comment's bookmark line follows. False also for any other pair.
  bool SetBookmark(const std::string& path, int start, int end);

  // Moves the file to the desktop's trash, the player letting go of it first. A call
  // on legal hold stays: false, with the hold described in `refusal` (when given).
  bool Trash(const std::string& path, std::string* refusal = nullptr);
  // Lets the player go of `path` when it holds it (see releasePlayer); false when
  // the player keeps it, still writing it.
  bool LetGo(const std::string& path);

  // Copies the recording into `folder` as "<its name without extension>.zel"; refuses
  // to copy a file onto itself. The reason of a failure is in zel::LastWriteError.
  bool CopyNative(const std::string& path, const std::string& folder);

 private:
  // SetComment without its audit line.
  std::optional<std::string> WriteComment(const std::string& path, const std::string& text);
  // Writes the player's changed copy of its file's header; true when written.
  bool SavePlayerCopy(const std::string& path);
  // Reads the header of `path` into `header`, applies `change` and, when that
  // accepts, writes it back; true when written.
  bool ChangeHeader(const std::string& path, const std::function<bool(CKlRecordFileHdr&)>& change,
                    CKlRecordFileHdr& header) const;
  // Runs `edit` (true when the file was written) between the file's SHA-256 before
  // and after, and records `action` when it was.
  bool Audited(const std::string& action, const std::string& detail, const std::string& path,
               const std::function<bool()>& edit);

  CPlaybackManager* player_;
  std::string passphrase_;
};
