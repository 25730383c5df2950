#pragma once
#include <string>

// Texts inside recording headers and the device's files are single-byte
// Windows-1252; the GUI, the command line and JSON use UTF-8.
namespace zel {

std::string Cp1252ToUtf8(const std::string& text);
// Characters that Windows-1252 cannot represent become "?"; invalid UTF-8 too.
std::string Utf8ToCp1252(const std::string& text);

}  // namespace zel
