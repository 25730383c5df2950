#include "core/CSettings.h"

#include "core/Cp1252.h"

#include <algorithm>
#include <cstdio>

#include "core/AppIdentity.h"
#include "core/CKlXMLSettings.h"
#include "core/Folders.h"

namespace {

constexpr std::array<int, CSettings::kColumnCount> kDefaultWidths = {40, 25, 100, 100, 58,
                                                                     130, 100, 40, 225};

// The first "section" child of the root whose name attribute is "settings".
CKlXMLSettings::Element* FindSettingsSection(CKlXMLSettings& xml, CKlXMLSettings::Element* root) {
  for (auto* section = xml.FirstChild("section", root); section != nullptr;
       section = xml.NextSibling("section", section)) {
    std::string name;
    xml.GetAttribute("", section, "name", name);
    if (name == "settings") return section;
  }
  return nullptr;
}

// Loads `path` into the shared store and returns its settings section, or null.
// With `setAsideDamaged` (the files this program writes) a damaged file is moved aside.
CKlXMLSettings::Element* LoadSection(CKlXMLSettings& xml, const std::string& path, bool setAsideDamaged = false) {
  std::string rootName, version;
  if (!xml.Load(path, rootName, version, setAsideDamaged)) return nullptr;
  return FindSettingsSection(xml, xml.Root());
}

}  // namespace

namespace zel {
std::string TrimBlanks(const std::string& text) {
  const char* blanks = " \t\r\n";
  size_t first = text.find_first_not_of(blanks);
  if (first == std::string::npos) return std::string();
  size_t last = text.find_last_not_of(blanks);
  return text.substr(first, last - first + 1);
}
}  // namespace zel

CSettings::CSettings() : ColumnWidths_(kDefaultWidths) {}

CSettings::~CSettings() = default;

std::string CSettings::SettingsFilePath(bool common, const std::string& fileName) {
  return zel::GetConfigurationFolderFor(common, zel::LoadString(zel::IDS_COMPANY),
                                        zel::LoadString(zel::IDS_PRODUCT)) +
         fileName;
}

std::string CSettings::GlobalSettingsFilePath(bool common, const std::string& fileName) {
  return zel::GetConfigurationFolderFor(common, zel::LoadString(zel::IDS_COMPANY),
                                        zel::LoadString(zel::IDS_GLOBAL_PRODUCT)) +
         fileName;
}

void CSettings::Load() {
  ZEL_LOCK(lock_);
  auto& xml = *Singleton<CKlXMLSettings>::Instance();

  int globalSettings = 0;
  if (auto* section = LoadSection(xml, SettingsFilePath(true, "global.xml"))) {
    xml.GetIntText(xml.FirstChild("GlobalSettings", section), 0, globalSettings);
  }

  if (auto* section = LoadSection(xml, GlobalSettingsFilePath(globalSettings == 1, "config.xml"))) {
    xml.GetIntText(xml.FirstChild("BlockExport", section), 0, BlockExport_);
    xml.GetIntText(xml.FirstChild("DisableDelete", section), 0, DisableDelete_);
  }

  if (auto* section = LoadSection(xml, SettingsFilePath(false, "config.xml"), true)) {
    for (int i = 0; i < kColumnCount; ++i) {
      char key[8];
      std::snprintf(key, sizeof key, "Col%d", i);
      int width = -1;
      xml.GetIntText(xml.FirstChild(key, section), -1, width);
      if (width == -1) break;
      ColumnWidths_[i] = width;
    }
    xml.GetIntText(xml.FirstChild("ShowHistory", section), 0, ShowHistory_);
    xml.GetIntText(xml.FirstChild("SavePassphrase", section), 0, SavePassphrase_);
    if (SavePassphrase_ != 0) {
      std::string text;
      xml.GetText("", xml.FirstChild("Passphrase", section), text);
      Passphrase_ = zel::TrimBlanks(text);
    } else {
      Passphrase_.clear();
    }
    xml.GetIntText(xml.FirstChild("PlaybackSpeed", section), 10, PlaybackSpeed_);
    PlaybackSpeed_ = std::clamp(PlaybackSpeed_, 5, 20);
    xml.GetIntText(xml.FirstChild("SkipSilence", section), 0, SkipSilence_);
    xml.GetIntText(xml.FirstChild("EvenLoudness", section), 0, EvenLoudness_);
  }
}

void CSettings::Save() {
  ZEL_LOCK(lock_);
  auto& xml = *Singleton<CKlXMLSettings>::Instance();
  auto* root = xml.Create(SettingsFilePath(false, "config.xml"), "profile", "1");
  auto* section = xml.AddElement(root, "section");
  xml.SetAttribute(section, "name", "settings");
  for (int i = 0; i < kColumnCount; ++i) {
    char key[8];
    std::snprintf(key, sizeof key, "Col%d", i);
    xml.AddIntText(xml.AddElement(section, key), ColumnWidths_[i]);
  }
  xml.AddIntText(xml.AddElement(section, "ShowHistory"), ShowHistory_);
  xml.AddIntText(xml.AddElement(section, "SavePassphrase"), SavePassphrase_);
  auto* passphrase = xml.AddElement(section, "Passphrase");
  if (SavePassphrase_ != 0 && !Passphrase_.empty()) xml.AddText(passphrase, Passphrase_);
  xml.AddIntText(xml.AddElement(section, "PlaybackSpeed"), PlaybackSpeed_);
  xml.AddIntText(xml.AddElement(section, "SkipSilence"), SkipSilence_);
  xml.AddIntText(xml.AddElement(section, "EvenLoudness"), EvenLoudness_);
  // The file may hold the passphrase: readable by its owner only.
  xml.Save(0600, true);
}

std::string CSettings::GetResourceFile() {
  ZEL_LOCK(lock_);
  auto& xml = *Singleton<CKlXMLSettings>::Instance();
  std::string name;
  if (auto* section = LoadSection(xml, SettingsFilePath(true, "branding.xml"))) {
    xml.GetText("", xml.FirstChild("ResourceFile", section), name);
  }
  return name;
}

int CSettings::GetColumnWidth(int i) const {
  ZEL_LOCK(lock_);
  return (i >= 0 && i < kColumnCount) ? ColumnWidths_[i] : -1;
}

void CSettings::SetColumnWidth(int i, int width) {
  ZEL_LOCK(lock_);
  if (i >= 0 && i < kColumnCount) ColumnWidths_[i] = width;
}

// The archive worker reads the passphrase while the user may change it.
std::string CSettings::GetPassphrase() const {
  ZEL_LOCK(lock_);
  return zel::TrimBlanks(Passphrase_);
}

void CSettings::SetPassphrase(const std::string& text) {
  if (!zel::PassphraseFits(text)) return;  // refused with a message, never changed silently
  std::string trimmed = zel::TrimBlanks(text);
  ZEL_LOCK(lock_);
  Passphrase_ = std::move(trimmed);
}

int CSettings::GetShowHistory() const {
  ZEL_LOCK(lock_);
  return ShowHistory_;
}

void CSettings::SetShowHistory(int value) {
  ZEL_LOCK(lock_);
  ShowHistory_ = value;
}

int CSettings::GetSavePassphrase() const {
  ZEL_LOCK(lock_);
  return SavePassphrase_;
}

void CSettings::SetSavePassphrase(int value) {
  ZEL_LOCK(lock_);
  SavePassphrase_ = value;
}

bool CSettings::IsExportBlocked() const {
  ZEL_LOCK(lock_);
  return BlockExport_ != 0;
}

bool CSettings::IsDeleteDisabled() const {
  ZEL_LOCK(lock_);
  return DisableDelete_ != 0;
}

int CSettings::GetPlaybackSpeed() const {
  ZEL_LOCK(lock_);
  return PlaybackSpeed_;
}

void CSettings::SetPlaybackSpeed(int tenths) {
  ZEL_LOCK(lock_);
  PlaybackSpeed_ = std::clamp(tenths, 5, 20);
}

int CSettings::GetSkipSilence() const {
  ZEL_LOCK(lock_);
  return SkipSilence_;
}

void CSettings::SetSkipSilence(int value) {
  ZEL_LOCK(lock_);
  SkipSilence_ = value != 0 ? 1 : 0;
}

int CSettings::GetEvenLoudness() const {
  ZEL_LOCK(lock_);
  return EvenLoudness_;
}

void CSettings::SetEvenLoudness(int value) {
  ZEL_LOCK(lock_);
  EvenLoudness_ = value != 0 ? 1 : 0;
}
