#pragma once
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "platform/Desktop.h"

class CKlRecordFile;
class CBookmarkRecordFile;

// Taking a call out of the system: WAV files (uncompressed PCM or GSM 6.10), native
// ".zel" copies, and e-mail through the desktop's mail client, for the whole call or
// its bookmarked span. Save dialogs go through the installed ISaveFileChooser,
// messages through zel::ShowMessage. Every file is written to a temporary file in
// the target folder and renamed into place, so a failed export leaves no partial
// file under the chosen name (and an existing file there untouched).
namespace zel {

// True when the GSM 6.10 (WAV49) converter can be created and encodes a block.
bool GsmCodecAvailable();

// Writes `count` samples as a WAV file: uncompressed when asked or when the GSM
// converter is not available, else GSM 6.10 with a "fact" chunk. False, with
// nothing left under `path`'s name changed, when the file cannot be written.
bool WriteWavSamples(const std::string& path, const int16_t* samples, size_t count,
                     bool uncompressed);
// The same for every sample of `file` (callers check IsReady first); refuses a
// `path` that is the recording's own file.
bool WriteWav(const std::string& path, const CKlRecordFile& file, bool uncompressed);
// Every sample of `file` as raw 16-bit little-endian PCM, written atomically; refuses
// a `path` that is the recording's own file.
bool WritePcmFile(const std::string& path, const CKlRecordFile& file);
// Each writer and export here that returns false leaves the reason in
// zel::LastWriteError (core/WriteTarget.h), except a cancelled save dialog.

// `path` with `extension` (".wav") appended unless it already ends in it, in any case.
std::string WithExtension(const std::string& path, const std::string& extension);
// The file name of `path` without folder and extension.
std::string BaseName(const std::string& path);

// Save dialogs, then the file. They do nothing unless the recording IsReady and
// return true only when a file was written.
bool ExportWav(const CKlRecordFile& file);
bool ExportNative(const CKlRecordFile& file);
// Copies the recording file `source` to `target` as it is (a native copy); refuses
// a `target` that is `source` itself.
bool CopyRecordingFile(const std::string& source, const std::string& target);

// The e-mail texts of a recording.
std::string MailSubject(const CKlRecordFile& file);
std::string MailNoteText(const CKlRecordFile& file);

// E-mail commands; true when the message was handed to the mail client.
// EmailWav needs a ready recording and leaves its temporary WAV in place.
bool EmailWav(const CKlRecordFile& file);
// Mail the recording file itself (also when it is not ready).
bool EmailNative(const CKlRecordFile& file);
bool EmailNativePlain(const CKlRecordFile& file);
// Mails `path` with the texts of `clip`; removes that file afterwards when asked.
bool EmailClip(const CKlRecordFile& clip, const std::string& path, bool deleteAfterwards);

// The bookmarked span of `source` as a private copy (opened with the settings'
// passphrase or `passphrase`), or null with the reason set when it holds no sample.
// A recording without a bookmark gives the whole call.
std::unique_ptr<CBookmarkRecordFile> CroppedCopy(const CKlRecordFile& source,
                                                 const std::optional<std::string>& passphrase);
// A private copy of `source`, cropped to its bookmarked span when `span`, whose samples
// are brought to even loudness: every export and mail command but the native ones
// takes it in place of the recording. `loudnessBefore` receives the loudness measured
// before (nothing when the call has none). Null, with the reason set, on failure;
// null with no reason when `stop` asked to stop.
std::unique_ptr<CBookmarkRecordFile> EvenLoudnessCopy(const CKlRecordFile& source, bool span,
                                                      const std::optional<std::string>& passphrase = {},
                                                      std::optional<double>* loudnessBefore = nullptr,
                                                      const std::function<bool()>& stop = {});
// The clip commands: the same as the whole-call ones, on the CroppedCopy of `source`.
bool EmailWavClip(const CKlRecordFile& source, const std::optional<std::string>& passphrase = {});
bool EmailNativeClip(const CKlRecordFile& source,
                     const std::optional<std::string>& passphrase = {});
bool ExportWavClip(const CKlRecordFile& source, const std::optional<std::string>& passphrase = {});
bool ExportNativeClip(const CKlRecordFile& source,
                      const std::optional<std::string>& passphrase = {});
// Save dialog for a native clip, then WriteClip.
bool ExportClip(CBookmarkRecordFile& clip);

// Adds the audit trail's line for a call exported ("export", with `format`, "wav",
// "zel", "mp3", ...) or mailed ("mail") by one of the commands above; `span` when only
// the bookmarked span went.
void RecordTakenOut(const CKlRecordFile& source, bool mail, const std::string& format, bool span);
// Where the player for native files can be found (appended to EmailNativePlain's text).
extern const char* const kPlayerWebAddress;

}  // namespace zel
