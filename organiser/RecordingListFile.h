#pragma once
#include <string>
#include <vector>

struct CKlXmlError;

// The ".reclist" layout of recording lists and of the play history: "<root>", one
// "   <rec>PATH</rec>" line per recording, for lists a "   <Folder>TITLE</Folder>"
// line, "</root>", each line ended by CR LF. Paths and titles are written with "&",
// "<" and ">" escaped; reading accepts the unescaped files of earlier versions
// wherever they are well-formed, and any nesting of elements around the paths.
namespace zel {

struct RecordingListContent {
  std::vector<std::string> paths;  // in file order, duplicates kept
  std::string title;               // the last text inside a "Folder" element
  bool hasTitle = false;
};

// The file text for `paths`, with a Folder line when `title` is not null.
std::string FormatRecordingList(const std::vector<std::string>& paths, const std::string* title);
// Parses the file; false with `error` filled when it cannot be read or parsed. An
// empty file (an empty list saved) is an empty list. With `folderIsTitle` false
// (the play history) the text of "Folder" elements is a path like every other.
bool ReadRecordingList(const std::string& path, RecordingListContent& content, CKlXmlError& error,
                       bool folderIsTitle = true);
// Parses text already in memory.
bool ParseRecordingList(const std::string& text, RecordingListContent& content, CKlXmlError& error,
                        bool folderIsTitle = true);

}  // namespace zel
