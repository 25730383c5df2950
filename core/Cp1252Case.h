#pragma once
#include <string>
#include <string_view>

// Case rules for the texts of recording headers after their conversion to UTF-8.
// The device's code page is Windows-1252, so the letters that have a case are
// those of that repertoire; the rest of Unicode cannot come from a header.
namespace zel {

// `utf8` with every lower-case letter of Windows-1252 in upper case: a-z, à-þ
// (not ÷), ÿ, š, œ and ž. Letters without a single upper-case form in the code
// page (ß, µ, ƒ), other characters and invalid bytes stay as they are.
std::string UpperCp1252(std::string_view utf8);
// The same in place: every letter keeps its length in bytes.
void UpperCp1252InPlace(char* utf8, size_t size);

}  // namespace zel
