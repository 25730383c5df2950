#pragma once
#include <memory>
#include <string>

#include <tinyxml2.h>

#include "core/Singleton.h"

// A thin store over one TinyXML-2 document, shared by the settings and the two
// collections. It holds one document at a time: every Load or Create replaces it.
// It has no lock: a user finishes its load-read or create-write sequence before
// another begins. Element arguments may be null; reads then give their default and
// writes do nothing.
class CKlXMLSettings {
 public:
  using Element = tinyxml2::XMLElement;

  CKlXMLSettings() = default;
  virtual ~CKlXMLSettings() = default;

  // True when the file parsed and has a root element; then its name and "version".
  // Only regular files of sane size are read. With `setAsideDamaged` a file that
  // exists but cannot be used (empty, malformed, not a regular file) is moved aside
  // and the user told (zel::SetAsideDamaged), so that a later save keeps it.
  bool Load(const std::string& path, std::string& rootName, std::string& version,
            bool setAsideDamaged = false);
  // A new document with the declaration and a root `rootName` version=`version`.
  Element* Create(const std::string& path, const std::string& rootName, const std::string& version);
  // Writes the document to the remembered path, atomically; `mode` for a new file,
  // or for any file with `forceMode`.
  bool Save(mode_t mode = 0644, bool forceMode = false);

  Element* Root();
  Element* FirstChild(const char* name, Element* parent);
  Element* NextSibling(const char* name, Element* element);

  bool GetAttribute(const std::string& def, Element* element, const char* name, std::string& out);
  bool GetIntAttribute(int def, Element* element, const char* name, int& out);
  bool GetText(const std::string& def, Element* element, std::string& out);
  bool GetIntText(Element* element, int def, int& out);

  Element* AddElement(Element* parent, const char* name);
  tinyxml2::XMLText* AddText(Element* parent, const std::string& text);
  tinyxml2::XMLText* AddIntText(Element* parent, int value);
  void SetAttribute(Element* element, const char* name, const std::string& text);
  void SetIntAttribute(Element* element, const char* name, int value);

  const std::string& Path() const { return path_; }

 private:
  std::shared_ptr<tinyxml2::XMLDocument> document_;
  std::string path_;
};
