#pragma once
#include <string>

namespace zel {

// Text for an XML element's content, as every writer of our XML files needs it:
// "&", "<" and ">" as entities, a carriage return as "&#13;". CKlXmlParser reads
// them back.
std::string EscapeXmlText(const std::string& text);

}  // namespace zel
