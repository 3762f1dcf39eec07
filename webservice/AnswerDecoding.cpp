#include "webservice/AnswerDecoding.h"

#include <array>

#include "common/Json.h"
#include "common/Text.h"
#include "platform/CodePage.h"
#include "common/ValueText.h"
#include "webservice/JsonWriters.h"

namespace vr {

namespace {

std::string_view TrimSpaces(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
    return text;
}

bool EndsWithIgnoreCase(std::string_view text, std::string_view suffix) {
    return text.size() >= suffix.size() &&
           text::EqualsIgnoreAsciiCase(text.substr(text.size() - suffix.size()), suffix);
}

// Only plain names reach the converter: a name with "//" or spaces would be an option to it.
bool IsPlausibleCharsetName(std::string_view name) {
    for (const char c : name) {
        const bool ok = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
                        c == '-' || c == '_' || c == '.' || c == ':';
        if (!ok) return false;
    }
    return !name.empty();
}

// Valid UTF-8 is taken over as it is: a large answer is not held twice.
std::string TakeValidUtf8(std::string&& body) {
    if (text::IsValidUtf8(body)) return std::move(body);
    return text::ToValidUtf8(body);
}

std::string DecodeBody(std::string&& body, const std::string& charset) {
    if (text::EqualsIgnoreAsciiCase(charset, "utf-8") || text::EqualsIgnoreAsciiCase(charset, "utf8")) {
        return TakeValidUtf8(std::move(body));
    }
    if (!IsPlausibleCharsetName(charset) || !codepage::IsKnown(charset)) {
        throw Error("Conjunto de caracteres desconhecido na resposta: \"" + text::ToValidUtf8(charset) +
                    "\"");
    }
    return codepage::ToUtf8(body, charset);
}

}  // namespace

TContentType ParseContentType(std::string_view headerValue) {
    TContentType result;
    std::size_t semicolon = headerValue.find(';');
    result.mediaType = std::string(TrimSpaces(headerValue.substr(0, semicolon)));
    while (semicolon != std::string_view::npos) {
        const std::size_t start = semicolon + 1;
        semicolon = headerValue.find(';', start);
        const std::string_view parameter = headerValue.substr(start, semicolon - start);
        const std::size_t equals = parameter.find('=');
        if (equals == std::string_view::npos) continue;
        if (!text::EqualsIgnoreAsciiCase(TrimSpaces(parameter.substr(0, equals)), "charset")) continue;
        std::string_view value = TrimSpaces(parameter.substr(equals + 1));
        if (value.size() >= 2 && value.front() == '"' && value.back() == '"') {
            value = value.substr(1, value.size() - 2);
        }
        result.charset = std::string(value);
        break;
    }
    return result;
}

bool IsTextMediaType(std::string_view mediaType) {
    if (mediaType.empty()) return true;
    const std::string lower = text::AsciiLower(mediaType);
    static constexpr std::array<std::string_view, 6> kTextApplications = {
        "application/json",       "application/xml",        "application/javascript",
        "application/ecmascript", "application/x-www-form-urlencoded", "application/x-javascript",
    };
    if (lower.starts_with("text/")) return true;
    for (const std::string_view type : kTextApplications) {
        if (lower == type) return true;
    }
    return EndsWithIgnoreCase(lower, "+json") || EndsWithIgnoreCase(lower, "+xml");
}

THttpAnswer DecodeAnswer(TRawAnswer raw) {
    THttpAnswer answer;
    answer.statusCode = raw.statusCode;
    const std::string_view line = raw.statusLine;
    const std::size_t firstSpace = line.find(' ');
    answer.protocolVersion = text::ToValidUtf8(line.substr(0, firstSpace));
    if (firstSpace != std::string_view::npos) {
        const std::size_t secondSpace = line.find(' ', firstSpace + 1);
        if (secondSpace != std::string_view::npos) {
            answer.reasonPhrase = text::ToValidUtf8(line.substr(secondSpace + 1));
        }
    }

    // The last Content-Type wins, as with any repeated single-valued header.
    TContentType contentType;
    for (const auto& [name, value] : raw.headers) {
        if (text::EqualsIgnoreAsciiCase(name, "Content-Type")) contentType = ParseContentType(value);
    }
    answer.mediaType = text::ToValidUtf8(contentType.mediaType);

    if (!contentType.charset.empty()) {
        answer.content = DecodeBody(std::move(raw.body), contentType.charset);
    } else if (answer.statusCode < 300 && !IsTextMediaType(answer.mediaType)) {
        answer.content.clear();
    } else {
        answer.content = TakeValidUtf8(std::move(raw.body));
    }
    answer.headers = std::move(raw.headers);
    return answer;
}

std::string TextoJson(std::string_view content) {
    if (content.empty()) return {};
    const std::optional<JsonDocument> document = JsonDocument::TryParse(content);
    if (!document) return {};
    return WriteIndentedJson(document->root());
}

std::optional<std::string> ProcuraMembro(const THttpAnswer& answer, std::string_view name,
                                         const RegionalSettings& settings) {
    const std::string_view mediaType = answer.mediaType;
    if (text::EqualsIgnoreAsciiCase(mediaType, "text/html") ||
        text::EqualsIgnoreAsciiCase(mediaType, "text/plain")) {
        const std::string key = std::string(name) + "=";
        const std::size_t found = answer.content.find(key);
        if (found == std::string::npos) return std::nullopt;
        const std::size_t start = found + key.size();
        const std::size_t end = answer.content.find('&', start);
        return answer.content.substr(start, end == std::string::npos ? std::string::npos : end - start);
    }
    if (text::EqualsIgnoreAsciiCase(mediaType, "application/json")) {
        if (answer.content.empty()) return std::nullopt;
        const std::optional<JsonDocument> document = JsonDocument::TryParse(answer.content);
        if (!document) return std::nullopt;
        const JsonValue root = document->root();
        if (!root.IsObject()) {
            throw Error("A resposta do serviço é JSON mas não é um objeto");
        }
        const std::optional<JsonValue> member = root.Find(name);
        if (!member) return std::nullopt;
        // A value that cannot be read as text (a huge integer) says nothing: the caller falls
        // back to the content instead of failing on the message of a failure.
        try {
            return ValueText(*member, settings);
        } catch (const Error&) {
            return std::nullopt;
        }
    }
    return std::nullopt;
}

}  // namespace vr
