#include "cli/SettingsCommand.h"

#include <cstdio>

#include "cli/CliSupport.h"
#include "cli/JsonWriter.h"
#include "core/CSettings.h"
#include "core/Cp1252.h"

ZEL_REGISTER_COMMAND(SettingsCommand);

int SettingsCommand::Execute(const ArgParser&) {
  zel::cli::StartCore();
  auto settings = Singleton<CSettings>::Instance();
  std::string resourceFile = settings->GetResourceFile();
  JsonWriter json;
  json.BeginObject().Key("columnWidths").BeginArray();
  for (int i = 0; i < CSettings::kColumnCount; ++i) json.Int(settings->GetColumnWidth(i));
  json.EndArray()
      .Field("showHistory", settings->GetShowHistory())
      .Field("savePassphrase", settings->GetSavePassphrase())
      .Field("passphraseSet", !settings->GetPassphrase().empty())
      .Field("blockExport", settings->IsExportBlocked())
      .Field("disableDelete", settings->IsDeleteDisabled())
      .Field("resourceFile", resourceFile)
      .EndObject();
  std::printf("%s\n", json.Text().c_str());
  return zel::cli::kExitOk;
}
