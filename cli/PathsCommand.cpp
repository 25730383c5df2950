#include "cli/PathsCommand.h"

#include <cstdio>

#include "cli/CliSupport.h"
#include "core/AppIdentity.h"
#include "core/Folders.h"

ZEL_REGISTER_COMMAND(PathsCommand);

int PathsCommand::Execute(const ArgParser&) {
  zel::ApplyStartupIdentity();
  std::string company = zel::LoadString(zel::IDS_COMPANY);
  std::string global = zel::LoadString(zel::IDS_GLOBAL_PRODUCT);
  std::printf("log: %s\n", zel::cli::Visible(zel::GetLogFolder()).c_str());
  std::printf("shared: %s\n", zel::cli::Visible(zel::GetConfigurationFolder(true)).c_str());
  std::printf("user: %s\n", zel::cli::Visible(zel::GetConfigurationFolder(false)).c_str());
  std::printf("global-common: %s\n", zel::cli::Visible(zel::GetConfigurationFolderFor(true, company, global)).c_str());
  std::printf("global-user: %s\n", zel::cli::Visible(zel::GetConfigurationFolderFor(false, company, global)).c_str());
  return zel::cli::kExitOk;
}
