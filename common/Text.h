#pragma once

// Text inside the program is UTF-8. Where the rules count characters or positions, they count
// UTF-16 code units, as the classification service and the store's software do.

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace vr::text {

// Number of UTF-16 code units the text occupies (a character above U+FFFF counts two).
std::size_t Utf16Length(std::string_view utf8);

// The code units [first, first + count) of the text, first counted from 0. A surrogate pair cut
// in half by either end becomes U+FFFD, since a lone surrogate has no UTF-8 form.
std::string Utf16Mid(std::string_view utf8, std::size_t first, std::size_t count);

// Cuts the text to at most maxUnits UTF-16 code units (a pair cut in half is dropped whole).
std::string Utf16Left(std::string_view utf8, std::size_t maxUnits);

bool IsValidUtf8(std::string_view bytes);

// Invalid UTF-8 sequences become U+FFFD; valid text is returned unchanged.
std::string ToValidUtf8(std::string_view bytes);

// Cuts a text into lines at CR LF, lone CR and lone LF. A final line break does not produce an
// empty last line; the empty text gives no line.
std::vector<std::string> SplitLines(std::string_view text);

// Upper-cases ASCII letters only (names, switches, media types); other bytes are unchanged.
std::string AsciiUpper(std::string_view text);
std::string AsciiLower(std::string_view text);
bool EqualsIgnoreAsciiCase(std::string_view a, std::string_view b);

// Appends the UTF-8 form of a code point (U+FFFD for a surrogate or a value above U+10FFFF).
void AppendUtf8(std::string& out, char32_t codePoint);

}  // namespace vr::text
