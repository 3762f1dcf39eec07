// The URL encoders: the path and the query go on the wire as printable ASCII without spaces
// whatever the URL text and the parameters hold (the scheme and the host go out as written), and
// an encoded segment encodes to itself.
// The input is the URL text, then parameter names and values, apart by "\x01".

#include <algorithm>
#include <string>
#include <vector>

#include "fuzz/FuzzSupport.h"
#include "webservice/UrlEncoding.h"

using namespace vr;

namespace {

void CheckOnTheWire(std::string_view encoded, const char* what) {
    for (const char c : encoded) {
        fuzz::Check(c > 0x20 && c < 0x7F, what, encoded);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzz::Pieces pieces(data, size);
    const std::string urlText(pieces.Next());
    std::vector<TQueryParam> query;
    while (!pieces.Rest().empty() && query.size() < 8) {
        TQueryParam param;
        param.name = std::string(pieces.Next());
        param.value = std::string(pieces.Next());
        query.push_back(std::move(param));
    }

    const std::string segment = EncodePathSegment(urlText);
    CheckOnTheWire(segment, "a path segment goes out as printable ASCII");
    fuzz::Check(segment.find('/') == std::string::npos || urlText.find('/') != std::string::npos,
                "a segment gains no slash");
    CheckOnTheWire(EncodeQuery(urlText), "a query goes out as printable ASCII");
    fuzz::Check(EncodePathSegment(segment) == segment, "an encoded segment encodes to itself");

    const std::string trimmed = TrimUrl(urlText);
    fuzz::Check(trimmed.empty() || static_cast<unsigned char>(trimmed.front()) > 0x20, "trimmed at the start");
    const std::string url = BuildRequestUrl(urlText, query);
    // The service's URL texts always start with their scheme; a "://" that first appears in the
    // path, the query or a parameter makes no address to check.
    const std::size_t scheme = trimmed.find("://");
    if (scheme == std::string::npos ? url.find("://") != std::string::npos
                                    : trimmed.find_first_of("/?#") < scheme) {
        return 0;
    }
    std::size_t pathStart = 0;
    if (scheme != std::string::npos) {
        pathStart = std::min(url.find_first_of("/?#", scheme + 3), url.size());
        fuzz::Check(trimmed.substr(0, pathStart) == url.substr(0, pathStart), "the host goes out as written", url);
    }
    const std::string_view sent = std::string_view(url).substr(pathStart, url.find('#', pathStart) - pathStart);
    CheckOnTheWire(sent, "the path and the query go out as printable ASCII");
    return 0;
}
