#include "core/AppIdentity.h"

#include <mutex>

namespace zel {
namespace {

std::mutex g_identityMutex;
std::string& CompanyStorage() {
  static std::string company = "Merovane";
  return company;
}
std::string& ProductStorage() {
  static std::string product;
  return product;
}

}  // namespace

std::string LoadString(int id) {
  switch (id) {
    case IDS_PRODUCT: return "Ostrel Manager";
    case IDS_GLOBAL_PRODUCT: return "Zel Config";
    case IDS_COMPANY: return "Merovane";
    case IDS_APP_TITLE: return "Zel Velomar";
    default: return std::string();
  }
}

std::string CompanyName() {
  std::lock_guard<std::mutex> lock(g_identityMutex);
  return CompanyStorage();
}

std::string ProductName() {
  std::lock_guard<std::mutex> lock(g_identityMutex);
  return ProductStorage();
}

void SetCompanyName(const std::string& name) {
  std::lock_guard<std::mutex> lock(g_identityMutex);
  CompanyStorage() = name;
}

void SetProductName(const std::string& name) {
  std::lock_guard<std::mutex> lock(g_identityMutex);
  ProductStorage() = name;
}

void ApplyStartupIdentity() {
  SetCompanyName(LoadString(IDS_COMPANY));
  SetProductName(LoadString(IDS_PRODUCT));
}

}  // namespace zel
