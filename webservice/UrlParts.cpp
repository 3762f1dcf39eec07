#include "webservice/UrlParts.h"

#include <algorithm>
#include <optional>

#include "common/Error.h"
#include "common/Text.h"

namespace vr {

namespace {

// A URI reference taken apart as RFC 3986 (appendix B) does; the fragment is dropped.
struct TReference {
    std::optional<std::string> scheme;
    std::optional<std::string> authority;
    std::string path;
    std::optional<std::string> query;  // without its "?"
};

bool IsAsciiLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

bool IsSchemeName(std::string_view name) {
    if (name.empty() || !IsAsciiLetter(name.front())) return false;
    for (const char c : name) {
        if (!IsAsciiLetter(c) && !(c >= '0' && c <= '9') && c != '+' && c != '-' && c != '.') return false;
    }
    return true;
}

TReference ParseReference(std::string_view text) {
    TReference reference;
    text = text.substr(0, text.find('#'));
    const std::size_t colon = text.find(':');
    if (colon != std::string_view::npos && IsSchemeName(text.substr(0, colon))) {
        reference.scheme = text::AsciiLower(text.substr(0, colon));
        text.remove_prefix(colon + 1);
    }
    if (text.starts_with("//")) {
        text.remove_prefix(2);
        const std::size_t end = std::min(text.find_first_of("/?"), text.size());
        reference.authority = std::string(text.substr(0, end));
        text.remove_prefix(end);
    }
    const std::size_t question = text.find('?');
    reference.path = std::string(text.substr(0, question));
    if (question != std::string_view::npos) reference.query = std::string(text.substr(question + 1));
    return reference;
}

void DropLastSegment(std::string& output) {
    const std::size_t slash = output.rfind('/');
    output.erase(slash == std::string::npos ? 0 : slash);
}

// RFC 3986, section 5.2.4.
std::string RemoveDotSegments(std::string_view input) {
    std::string output;
    while (!input.empty()) {
        if (input.starts_with("../")) {
            input.remove_prefix(3);
        } else if (input.starts_with("./") || input.starts_with("/./")) {
            input.remove_prefix(2);
        } else if (input == "/.") {
            input = "/";
        } else if (input.starts_with("/../")) {
            input.remove_prefix(3);
            DropLastSegment(output);
        } else if (input == "/..") {
            input = "/";
            DropLastSegment(output);
        } else if (input == "." || input == "..") {
            input = {};
        } else {
            const std::size_t next = std::min(input.find('/', 1), input.size());
            output += input.substr(0, next);
            input.remove_prefix(next);
        }
    }
    return output;
}

// RFC 3986, section 5.2.3.
std::string MergePaths(const TReference& base, std::string_view relative) {
    if (base.authority && base.path.empty()) return "/" + std::string(relative);
    const std::size_t slash = base.path.rfind('/');
    return (slash == std::string::npos ? std::string() : base.path.substr(0, slash + 1)) + std::string(relative);
}

std::string Recompose(const TReference& reference) {
    std::string out;
    if (reference.scheme) out += *reference.scheme + ":";
    if (reference.authority) out += "//" + *reference.authority;
    out += reference.path;
    if (reference.query) out += "?" + *reference.query;
    return out;
}

int ParsePort(std::string_view digits, std::string_view url) {
    if (digits.empty()) return 0;
    int port = 0;
    for (const char c : digits) {
        if (c < '0' || c > '9' || port > 65535) throw Error("Porta inválida no endereço " + std::string(url));
        port = port * 10 + (c - '0');
    }
    if (port < 1 || port > 65535) throw Error("Porta inválida no endereço " + std::string(url));
    return port;
}

}  // namespace

TUrlParts SplitUrl(std::string_view url) {
    const TReference reference = ParseReference(url);
    if (!reference.scheme || !reference.authority) throw Error("Endereço inválido: " + std::string(url));
    std::string_view authority = *reference.authority;
    if (authority.find('@') != std::string_view::npos) {
        throw Error("Endereço com credenciais não é aceito: " + std::string(url));
    }
    TUrlParts parts;
    parts.scheme = *reference.scheme;
    std::string_view port;
    if (authority.starts_with('[')) {
        const std::size_t close = authority.find(']');
        if (close == std::string_view::npos) throw Error("Endereço inválido: " + std::string(url));
        parts.host = std::string(authority.substr(1, close - 1));
        const std::string_view rest = authority.substr(close + 1);
        if (!rest.empty() && !rest.starts_with(':')) throw Error("Endereço inválido: " + std::string(url));
        if (!rest.empty()) port = rest.substr(1);
    } else {
        const std::size_t colon = authority.rfind(':');
        parts.host = std::string(authority.substr(0, colon));
        if (colon != std::string_view::npos) port = authority.substr(colon + 1);
    }
    if (parts.host.empty()) throw Error("Endereço sem servidor: " + std::string(url));
    parts.port = ParsePort(port, url);
    parts.target = reference.path.empty() ? "/" : reference.path;
    if (reference.query) parts.target += "?" + *reference.query;
    return parts;
}

std::string ResolveLocation(std::string_view base, std::string_view location) {
    const TReference b = ParseReference(base);
    const TReference r = ParseReference(location);
    TReference t;
    if (r.scheme) {
        t = r;
        t.path = RemoveDotSegments(r.path);
        return Recompose(t);
    }
    t.scheme = b.scheme;
    if (r.authority) {
        t.authority = r.authority;
        t.path = RemoveDotSegments(r.path);
        t.query = r.query;
        return Recompose(t);
    }
    t.authority = b.authority;
    if (r.path.empty()) {
        t.path = b.path;
        t.query = r.query ? r.query : b.query;
    } else {
        const std::string path = r.path.starts_with('/') ? r.path : MergePaths(b, r.path);
        t.path = RemoveDotSegments(path);
        t.query = r.query;
    }
    return Recompose(t);
}

}  // namespace vr
