#pragma once

// The pieces of an absolute address a transport connects with, and where a redirect leads. For
// transports that take the address apart themselves (WinHTTP); libcurl does both on its own.

#include <string>
#include <string_view>

namespace vr {

struct TUrlParts {
    std::string scheme;  // in lower case
    std::string host;    // an IPv6 address without its brackets
    int port = 0;        // 0 when the address names none
    std::string target;  // path and query exactly as written, "/" for an empty path; no fragment
};

// Throws Error when the text is not an absolute address with a host.
TUrlParts SplitUrl(std::string_view url);

// The Location of a redirect resolved against the address that answered with it (RFC 3986,
// section 5.2), without its fragment. The dot segments of the result are removed.
std::string ResolveLocation(std::string_view base, std::string_view location);

}  // namespace vr
