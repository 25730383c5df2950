#include "core/CKlXMLSettings.h"

#include <cstdio>

#include "core/AtomicFile.h"
#include "core/DamagedFile.h"
#include "core/RegularFile.h"
#include "core/FileLock.h"

using tinyxml2::XMLDocument;
using tinyxml2::XMLElement;

bool CKlXMLSettings::Load(const std::string& path, std::string& rootName, std::string& version,
                          bool setAsideDamaged) {
  document_ = std::make_shared<XMLDocument>();
  path_ = path;
  std::string text;
  if (setAsideDamaged) {
    if (!zel::ReadDataFileOrSetAside(path, text, true)) return false;
  } else if (zel::ReadDataFile(path, text) != zel::DataFileRead::Ok) {
    return false;
  }
  bool parsed = document_->Parse(text.data(), text.size()) == tinyxml2::XML_SUCCESS;
  XMLElement* root = parsed ? document_->RootElement() : nullptr;
  if (root == nullptr) {
    if (setAsideDamaged) zel::SetAsideDamaged(path, parsed ? "it holds no element" : "it is not well-formed XML");
    document_ = std::make_shared<XMLDocument>();
    return false;
  }
  rootName = root->Name();
  const char* v = root->Attribute("version");
  version = v != nullptr ? v : "";
  return true;
}

XMLElement* CKlXMLSettings::Create(const std::string& path, const std::string& rootName,
                                   const std::string& version) {
  document_ = std::make_shared<XMLDocument>();
  path_ = path;
  document_->InsertEndChild(document_->NewDeclaration("xml version=\"1.0\" encoding=\"UTF-8\""));
  XMLElement* root = document_->NewElement(rootName.c_str());
  root->SetAttribute("version", version.c_str());
  document_->InsertEndChild(root);
  return root;
}

bool CKlXMLSettings::Save(mode_t mode, bool forceMode) {
  if (!document_) return false;
  tinyxml2::XMLPrinter printer;
  document_->Print(&printer);
  // The printer's size counts the terminating NUL.
  std::string content(printer.CStr(), printer.CStrSize() > 0 ? printer.CStrSize() - 1 : 0);
  // Several processes save the shared files; their saves never interleave.
  zel::FileLock fileLock(path_);
  return zel::WriteFileAtomically(path_, content, mode, forceMode);
}

XMLElement* CKlXMLSettings::Root() {
  return document_ ? document_->FirstChildElement() : nullptr;
}

XMLElement* CKlXMLSettings::FirstChild(const char* name, XMLElement* parent) {
  return parent != nullptr ? parent->FirstChildElement(name) : nullptr;
}

XMLElement* CKlXMLSettings::NextSibling(const char* name, XMLElement* element) {
  return element != nullptr ? element->NextSiblingElement(name) : nullptr;
}

bool CKlXMLSettings::GetAttribute(const std::string& def, XMLElement* element, const char* name,
                                  std::string& out) {
  const char* value = element != nullptr ? element->Attribute(name) : nullptr;
  out = value != nullptr ? value : def;
  return value != nullptr;
}

bool CKlXMLSettings::GetIntAttribute(int def, XMLElement* element, const char* name, int& out) {
  const char* value = element != nullptr ? element->Attribute(name) : nullptr;
  int parsed = 0;
  if (value != nullptr && std::sscanf(value, "%d", &parsed) == 1) {
    out = parsed;
    return true;
  }
  out = def;
  return false;
}

bool CKlXMLSettings::GetText(const std::string& def, XMLElement* element, std::string& out) {
  const tinyxml2::XMLNode* first = element != nullptr ? element->FirstChild() : nullptr;
  const tinyxml2::XMLText* text = first != nullptr ? first->ToText() : nullptr;
  out = text != nullptr ? text->Value() : def;
  return text != nullptr;
}

bool CKlXMLSettings::GetIntText(XMLElement* element, int def, int& out) {
  std::string text;
  int parsed = 0;
  if (GetText("", element, text) && std::sscanf(text.c_str(), "%d", &parsed) == 1) {
    out = parsed;
    return true;
  }
  out = def;
  return false;
}

XMLElement* CKlXMLSettings::AddElement(XMLElement* parent, const char* name) {
  if (parent == nullptr || !document_) return nullptr;
  return parent->InsertNewChildElement(name);
}

tinyxml2::XMLText* CKlXMLSettings::AddText(XMLElement* parent, const std::string& text) {
  if (parent == nullptr || !document_) return nullptr;
  return parent->InsertNewText(text.c_str());
}

tinyxml2::XMLText* CKlXMLSettings::AddIntText(XMLElement* parent, int value) {
  char buffer[16];
  std::snprintf(buffer, sizeof buffer, "%d", value);
  return AddText(parent, buffer);
}

void CKlXMLSettings::SetAttribute(XMLElement* element, const char* name, const std::string& text) {
  if (element != nullptr) element->SetAttribute(name, text.c_str());
}

void CKlXMLSettings::SetIntAttribute(XMLElement* element, const char* name, int value) {
  if (element != nullptr) element->SetAttribute(name, value);
}
