#pragma once

// UTF-8 inside the program, UTF-16 at the Windows API; and the system's own wording of an error.

#include <windows.h>

#include <string>
#include <string_view>

namespace vr::win {

// Invalid UTF-8 becomes U+FFFD.
std::wstring Widen(std::string_view utf8);
// Unpaired surrogates become U+FFFD.
std::string Narrow(std::wstring_view utf16);

// FormatMessageW's text for a system error code, without the trailing line break; the code in
// hexadecimal when the system has no text for it.
std::string SystemMessage(DWORD code);
// The same text without its final full stop, to stand as a clause inside a longer message.
std::string SystemReason(DWORD code);

}  // namespace vr::win
