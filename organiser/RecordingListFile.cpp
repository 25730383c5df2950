#include "organiser/RecordingListFile.h"

#include "core/RegularFile.h"
#include "toolkit/CKlXmlParser.h"
#include "toolkit/XmlText.h"

namespace zel {

std::string FormatRecordingList(const std::vector<std::string>& paths, const std::string* title) {
  std::string out = "<root>\r\n";
  for (const std::string& path : paths) {
    out += "   <rec>";
    out += EscapeXmlText(path);
    out += "</rec>\r\n";
  }
  if (title) {
    out += "   <Folder>";
    out += EscapeXmlText(*title);
    out += "</Folder>\r\n";
  }
  out += "</root>\r\n";
  return out;
}

namespace {
// Depth first; the depth is bounded by the parser.
void Walk(const CKlXmlNode& element, RecordingListContent& content, bool folderIsTitle) {
  for (const CKlXmlNode& child : element.children) {
    if (child.IsElement()) {
      Walk(child, content, folderIsTitle);
    } else if (folderIsTitle && element.name == "Folder") {
      content.title = child.text;
      content.hasTitle = true;
    } else {
      content.paths.push_back(child.text);
    }
  }
}
}  // namespace

bool ParseRecordingList(const std::string& text, RecordingListContent& content, CKlXmlError& error,
                        bool folderIsTitle) {
  content = RecordingListContent();
  CKlXmlParser parser;
  CKlXmlNode root;
  if (!parser.Parse(text, root, error)) return false;
  if (root.name == "[Root]") Walk(root, content, folderIsTitle);
  return true;
}

bool ReadRecordingList(const std::string& path, RecordingListContent& content, CKlXmlError& error,
                       bool folderIsTitle) {
  std::string text;
  content = RecordingListContent();
  DataFileRead read = ReadDataFile(path, text);
  if (read != DataFileRead::Ok) {
    error = CKlXmlError();
    error.number = CKlXmlParser::kErrReadFile;
    error.text = CKlXmlParser::ErrorText(error.number);
    // Say why when the file is there but refused (a FIFO, a link to a device, ...).
    if (read == DataFileRead::NotRegular || read == DataFileRead::TooLarge) {
      error.text += std::string(": ") + DataFileReadText(read);
    }
    error.context = path;
    return false;
  }
  return ParseRecordingList(text, content, error, folderIsTitle);
}

}  // namespace zel
