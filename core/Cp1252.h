#pragma once
#include <string>
#include <string_view>

// Texts inside recording headers and the device's files are single-byte
// Windows-1252; the GUI, the command line and JSON use UTF-8.
namespace zel {

std::string Cp1252ToUtf8(std::string_view text);
// Characters that Windows-1252 cannot represent become "?"; invalid UTF-8 too.
std::string Utf8ToCp1252(const std::string& text);
// True when every character of `utf8` has a Windows-1252 byte, so storing it loses
// nothing; false for characters outside the code page and for invalid UTF-8.
bool FitsCp1252(std::string_view utf8);
// FitsCp1252 for a passphrase being set; when it does not fit, says so through the
// message sink and returns false (a key from a changed passphrase would open nothing).
bool PassphraseFits(std::string_view utf8);

}  // namespace zel
