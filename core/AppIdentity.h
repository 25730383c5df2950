#pragma once
#include <string>

// The product's string table and the two process-wide identity strings that name
// the data folders. CompanyName holds the built-in company text from the start;
// ProductName stays empty until start-up calls ApplyStartupIdentity().
namespace zel {

enum StringId : int {
  IDS_PRODUCT = 128,          // "Ostrel Manager"
  IDS_GLOBAL_PRODUCT = 159,   // "Zel Config"
  IDS_COMPANY = 1000,         // "Merovane"
  IDS_APP_TITLE = 57344,      // "Zel Velomar"
};

// Text of a string resource; empty for an unknown id.
std::string LoadString(int id);

std::string CompanyName();
std::string ProductName();
void SetCompanyName(const std::string& name);
void SetProductName(const std::string& name);

// What start-up does: both identity strings from the string table.
void ApplyStartupIdentity();

}  // namespace zel
