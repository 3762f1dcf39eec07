#pragma once

// Text travels to and from the database as ISO-8859-1; inside the program it is UTF-8.

#include <string>
#include <string_view>

namespace vr::db {

// Every byte is one character of ISO-8859-1.
std::string Latin1ToUtf8(std::string_view latin1);

// A character that ISO-8859-1 lacks (and any invalid UTF-8 sequence) becomes "?".
std::string Utf8ToLatin1(std::string_view utf8);

}  // namespace vr::db
