#pragma once
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

class CKlRecordFile;

// Compressed exports that other players open: MP3, Opus in Ogg and FLAC, written
// through libsndfile as 8 kHz mono with rates that suit telephone speech. Each file
// is written to a temporary file in the target folder and renamed into place, the
// recording's own file is refused, and a failure leaves its reason in
// zel::LastWriteError (core/WriteTarget.h).
namespace zel {

enum class CompactFormat { Mp3, Opus, Flac };

// The target bit rates of the lossy formats, in bits per second.
inline constexpr int kMp3BitRate = 24000;
inline constexpr int kOpusBitRate = 16000;

// ".mp3", ".opus", ".flac".
const char* CompactExtension(CompactFormat format);
// "mp3", "opus", "flac" and back; nullopt for any other name.
const char* CompactName(CompactFormat format);
std::optional<CompactFormat> CompactFormatFromName(const std::string& name);
// Whether the installed libsndfile can write the format.
bool CompactFormatAvailable(CompactFormat format);

// The texts written into the file's tags; an empty text is left out.
struct CompactTags {
  std::string title;
  std::string comment;
};
// Title "caller, date and time" and the comment the user wrote.
CompactTags TagsOf(const CKlRecordFile& file);

// Writes `count` samples to `path`. False, with nothing under `path` changed, on
// any failure.
bool WriteCompactSamples(const std::string& path, CompactFormat format, const int16_t* samples,
                         size_t count, const CompactTags& tags = {});
// Every sample of `file` (callers check IsReady) with its tags; refuses `path`
// when it is the recording's own file.
bool WriteCompact(const std::string& path, const CKlRecordFile& file, CompactFormat format);

// Save dialog (the recording's base name, the format's extension appended unless
// the chosen path ends in it), then WriteCompact. Nothing happens unless the
// recording IsReady; true only when a file was written.
bool ExportCompact(const CKlRecordFile& file, CompactFormat format);
// The same for the bookmarked span (the whole call without a bookmark), through a
// cropped private copy opened with the settings' passphrase or `passphrase`.
bool ExportCompactClip(const CKlRecordFile& source, CompactFormat format,
                       const std::optional<std::string>& passphrase = {});
// The call (or its bookmarked span) written in `format` to the temporary folder and
// handed to the mail client with the usual subject and text.
bool EmailCompact(const CKlRecordFile& file, CompactFormat format);
bool EmailCompactClip(const CKlRecordFile& source, CompactFormat format,
                      const std::optional<std::string>& passphrase = {});

}  // namespace zel
