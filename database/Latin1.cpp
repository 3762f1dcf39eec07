#include "database/Latin1.h"

#include "platform/CodePage.h"

namespace vr::db {

// The platform's converter is the one conversion path of the program; the database's character
// set is only one more code page to it.
namespace {
const std::string kCharacterSet = "ISO-8859-1";
}  // namespace

std::string Latin1ToUtf8(std::string_view latin1) { return codepage::ToUtf8(latin1, kCharacterSet); }

std::string Utf8ToLatin1(std::string_view utf8) { return codepage::FromUtf8(utf8, kCharacterSet); }

}  // namespace vr::db
