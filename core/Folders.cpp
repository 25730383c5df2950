#include "core/Folders.h"

#include <cstdlib>
#include <filesystem>
#include <system_error>

#include "core/AppIdentity.h"

namespace zel {
namespace {

std::string EnvOrHomeDefault(const char* variable, const char* homeRelative) {
  const char* value = std::getenv(variable);
  if (value != nullptr && value[0] == '/') return value;
  const char* home = std::getenv("HOME");
  return std::string(home != nullptr ? home : "") + homeRelative;
}

std::string BuildFolder(int kind, const std::string& company, const std::string& product,
                        const char* leaf) {
  std::string base;
  GetShellFolder(kind, base);  // on failure the path stays relative to the root
  std::string path = base + "/" + company;
  if (!product.empty()) path += "/" + product;
  path += leaf;
  std::error_code ec;
  if (!std::filesystem::is_directory(path, ec)) {
    std::filesystem::create_directories(path, ec);  // failures surface later, at use
  }
  return path + "/";
}

}  // namespace

bool GetShellFolder(int kind, std::string& path) {
  switch (kind) {
    case 0: path = EnvOrHomeDefault("XDG_CONFIG_HOME", "/.config"); return true;
    case 1: path = EnvOrHomeDefault("XDG_DATA_HOME", "/.local/share"); return true;
    default: return false;
  }
}

std::string GetLogFolder() {
  return BuildFolder(1, CompanyName(), ProductName(), "/Log");
}

std::string GetConfigurationFolder(bool common) {
  return BuildFolder(common ? 1 : 0, CompanyName(), ProductName(), "/Configuration");
}

std::string GetConfigurationFolderFor(bool common, const std::string& company,
                                      const std::string& product) {
  return BuildFolder(common ? 1 : 0, company, product, "/Configuration");
}

}  // namespace zel
