#pragma once

// How the URL text of a request becomes the address that goes on the wire. The path and the
// query are percent-encoded with two different character sets; nothing is form-encoded, so the
// separators inside a value reach the service as they are.

#include <string>
#include <string_view>
#include <vector>

namespace vr {

struct TQueryParam {
    std::string name;
    std::string value;
};

// Removes the characters up to U+0020 at both ends, then one "/" at the end.
std::string TrimUrl(std::string_view url);

// One path segment: "%XX" kept, bytes outside 0x21..0x7E and " # + < > ? \ ^ ` { | } as "%XX".
std::string EncodePathSegment(std::string_view segment);

// The query text: "%XX" kept, bytes outside 0x21..0x7E and " ' < > as "%XX"; "&", "=", "+",
// "/" and "?" stay as they are.
std::string EncodeQuery(std::string_view query);

// The address to send: the trimmed URL text with the parameters appended in their order
// ("?" first, or "&" when the text already has a "?"), the path encoded segment by segment and
// the query encoded as a whole. A "#" starts a fragment, which is never sent.
std::string BuildRequestUrl(std::string_view urlText, const std::vector<TQueryParam>& query);

}  // namespace vr
