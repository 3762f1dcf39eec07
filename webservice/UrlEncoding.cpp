#include "webservice/UrlEncoding.h"

namespace vr {

namespace {

bool IsHexDigit(char c) {
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

// Copies "%XX" whole, writes the bytes that mustEscape selects as "%XX", the rest unchanged.
template <typename Predicate>
std::string PercentEncode(std::string_view text, Predicate mustEscape) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto byte = static_cast<unsigned char>(text[i]);
        if (byte == '%' && i + 2 < text.size() && IsHexDigit(text[i + 1]) &&
            IsHexDigit(text[i + 2])) {
            out.append(text.substr(i, 3));
            i += 2;
        } else if (byte < 0x21 || byte > 0x7E || mustEscape(byte)) {
            out += '%';
            out += kHex[byte >> 4];
            out += kHex[byte & 0x0F];
        } else {
            out += static_cast<char>(byte);
        }
    }
    return out;
}

}  // namespace

std::string TrimUrl(std::string_view url) {
    std::size_t first = 0;
    std::size_t last = url.size();
    while (first < last && static_cast<unsigned char>(url[first]) <= 0x20) ++first;
    while (last > first && static_cast<unsigned char>(url[last - 1]) <= 0x20) --last;
    std::string_view trimmed = url.substr(first, last - first);
    if (!trimmed.empty() && trimmed.back() == '/') trimmed.remove_suffix(1);
    return std::string(trimmed);
}

std::string EncodePathSegment(std::string_view segment) {
    return PercentEncode(segment, [](unsigned char c) {
        switch (c) {
            case '"': case '#': case '+': case '<': case '>': case '?':
            case '\\': case '^': case '`': case '{': case '|': case '}':
                return true;
            default:
                return false;
        }
    });
}

std::string EncodeQuery(std::string_view query) {
    return PercentEncode(query, [](unsigned char c) {
        return c == '"' || c == '\'' || c == '<' || c == '>';
    });
}

std::string BuildRequestUrl(std::string_view urlText, const std::vector<TQueryParam>& query) {
    std::string url = TrimUrl(urlText);
    char separator = url.find('?') == std::string::npos ? '?' : '&';
    for (const TQueryParam& param : query) {
        url += separator;
        url += param.name;
        url += '=';
        url += param.value;
        separator = '&';
    }

    // The scheme and the authority go out as written.
    std::size_t pathStart = 0;
    if (const std::size_t scheme = url.find("://"); scheme != std::string::npos) {
        pathStart = url.find_first_of("/?#", scheme + 3);
        if (pathStart == std::string::npos) pathStart = url.size();
    }
    std::string out = url.substr(0, pathStart);

    std::string_view rest = std::string_view(url).substr(pathStart);
    if (const std::size_t fragment = rest.find('#'); fragment != std::string_view::npos) {
        rest = rest.substr(0, fragment);
    }
    const std::size_t queryStart = rest.find('?');
    const std::string_view path = rest.substr(0, queryStart);

    std::size_t segmentStart = 0;
    while (true) {
        const std::size_t slash = path.find('/', segmentStart);
        out += EncodePathSegment(path.substr(segmentStart, slash - segmentStart));
        if (slash == std::string_view::npos) break;
        out += '/';
        segmentStart = slash + 1;
    }
    if (queryStart != std::string_view::npos) {
        out += '?';
        out += EncodeQuery(rest.substr(queryStart + 1));
    }
    return out;
}

}  // namespace vr
