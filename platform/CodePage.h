#pragma once

// Conversion between UTF-8 and the 8-bit code pages of files and answers. Code pages are named
// as iconv names them ("UTF-8", "ISO-8859-1", "WINDOWS-1252"); the platform layer implements it.

#include <string>
#include <string_view>

namespace vr::codepage {

// Encodes UTF-8 text in the code page. A character the code page lacks becomes "?", never an
// error. Throws vr::Error for an unknown code page.
std::string FromUtf8(std::string_view utf8, const std::string& codePage);

// Decodes bytes in the code page to UTF-8. Bytes that do not decode become U+FFFD. Throws
// vr::Error for an unknown code page.
std::string ToUtf8(std::string_view bytes, const std::string& codePage);

// True when the platform can convert to and from the named code page.
bool IsKnown(const std::string& codePage);

}  // namespace vr::codepage
