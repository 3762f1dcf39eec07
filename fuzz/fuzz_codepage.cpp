// The code pages of files and answers: decoding any bytes gives valid UTF-8, encoding gives one
// byte per character of an 8-bit code page, and ISO-8859-1 carries every byte there and back.

#include <string>

#include "common/Error.h"
#include "common/Text.h"
#include "fuzz/FuzzSupport.h"
#include "platform/CodePage.h"

using namespace vr;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    for (const char* codePage : {"WINDOWS-1252", "ISO-8859-1", "UTF-8"}) {
        const std::string decoded = codepage::ToUtf8(bytes, codePage);
        fuzz::Check(text::IsValidUtf8(decoded), "decoding gives valid UTF-8", codePage);
        const std::string encoded = codepage::FromUtf8(decoded, codePage);
        if (std::string_view(codePage) == "ISO-8859-1") {
            fuzz::Check(encoded == bytes, "ISO-8859-1 carries every byte there and back");
        }
    }
    // Whatever UTF-8 comes in, an 8-bit code page gives at most one byte per input byte.
    const std::string encoded = codepage::FromUtf8(bytes, "WINDOWS-1252");
    fuzz::Check(encoded.size() <= bytes.size(), "an 8-bit encoding is never longer than its UTF-8");
    // Other code pages an answer may name, and names that are none. The names come from a fixed
    // list: the converter keeps one descriptor per name it has opened, and glibc takes countless
    // spellings of one name, so names made up by the fuzzer only fill that cache.
    static const char* const kOthers[] = {"UTF-16", "UTF-16LE", "UTF-16BE", "CP850", "latin1", "windows-1252",
                                          "ISO-8859-15", "", "NAO-EXISTE", "UTF-8//IGNORE"};
    const char* other = kOthers[size == 0 ? 0 : data[0] % (sizeof kOthers / sizeof *kOthers)];
    try {
        fuzz::Check(text::IsValidUtf8(codepage::ToUtf8(bytes, other)), "decoding gives valid UTF-8", other);
        codepage::FromUtf8(bytes, other);
    } catch (const Error&) {
        fuzz::Check(!codepage::IsKnown(other), "only an unknown code page fails", other);
    }
    return 0;
}
