#pragma once

// The two written forms of a JSON document: the indented one of the answer dump after a
// consultation, and the compact one-line form of the feed answer's dump.

#include <functional>
#include <string>
#include <string_view>

#include "common/Json.h"

namespace vr {

// Four spaces per level, CR LF between lines, no final line break, ": " after member names.
// Strings escape \" \\ \/ \b \t \n \f \r, every other character below U+0020 as \uXXXX
// (upper-case hex), and keep every other character as it is, so that the text always reads back
// as the same document. Numbers are written as they appeared in the source.
std::string WriteIndentedJson(JsonValue value);

// One line without spaces between tokens; the same short escapes, and every other character
// below U+0020 or above U+007F as \uXXXX (upper-case hex, a surrogate pair above U+FFFF).
std::string WriteCompactJson(JsonValue value);
// The same, handed to `sink` in pieces as it is written, for texts too large to hold whole.
void WriteCompactJson(JsonValue value, const std::function<void(std::string_view)>& sink);

}  // namespace vr
