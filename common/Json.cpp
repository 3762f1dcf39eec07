#include "common/Json.h"

#include <limits>

#include <rapidjson/error/en.h>
#include <rapidjson/reader.h>
#include <rapidjson/stream.h>

namespace vr {
namespace {

constexpr std::size_t kMaxIndex = 0xFFFFFFFEu;

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// A number the reader would refuse although JSON's grammar allows it: the reader computes a
// double on the way and gives up beyond its range. Its text is kept aside and the reader is shown
// a 0 padded with spaces in its place, of the same length, so that positions stay true.
struct SetAside {
    std::uint32_t at;      // where the number stands in the source
    std::uint32_t offset;  // where its text is kept, after the source
    std::uint32_t length;
};

// The length of the number at pos by JSON's grammar, or 0 when none starts there. Sets `risky`
// when the reader could not take it: more than 300 integer digits or a positive exponent of 100
// or more (its fraction never overflows, and a negative exponent only makes it smaller).
std::size_t MatchNumber(std::string_view s, std::size_t pos, bool& risky, std::size_t& scanned) {
    std::size_t i = pos;
    risky = false;
    if (i < s.size() && s[i] == '-') ++i;
    const std::size_t intStart = i;
    if (i < s.size() && s[i] == '0') {
        ++i;
    } else {
        while (i < s.size() && IsDigit(s[i])) ++i;
    }
    scanned = i;
    if (i == intStart) return 0;
    if (i - intStart > 300) risky = true;
    if (i < s.size() && s[i] == '.') {
        const std::size_t start = ++i;
        while (i < s.size() && IsDigit(s[i])) ++i;
        scanned = i;
        if (i == start) return 0;
    }
    if (i < s.size() && (s[i] == 'e' || s[i] == 'E')) {
        ++i;
        bool negative = false;
        if (i < s.size() && (s[i] == '+' || s[i] == '-')) negative = s[i++] == '-';
        const std::size_t start = i;
        while (i < s.size() && s[i] == '0') ++i;
        const std::size_t significant = i;
        while (i < s.size() && IsDigit(s[i])) ++i;
        scanned = i;
        if (i == start) return 0;
        if (!negative && i - significant >= 3) risky = true;
    }
    scanned = i;
    return i - pos;
}

// Finds the numbers the reader would refuse in source[0, length), keeps their texts in `kept`
// and blanks them out. Only tokens outside strings are looked at; in text that is not JSON the
// reader stops at its first error, which no rewrite before it moves.
std::vector<SetAside> SetAsideLongNumbers(std::string& source, std::size_t length, std::string& kept) {
    std::vector<SetAside> list;
    const std::string_view s(source.data(), length);
    bool inString = false;
    for (std::size_t i = 0; i < s.size();) {
        const char c = s[i];
        if (inString) {
            if (c == '\\') {
                i += 2;
                continue;
            }
            if (c == '"') inString = false;
            ++i;
            continue;
        }
        if (c == '"') {
            inString = true;
            ++i;
            continue;
        }
        if (c != '-' && !IsDigit(c)) {
            ++i;
            continue;
        }
        bool risky = false;
        std::size_t scanned = i;
        const std::size_t n = MatchNumber(s, i, risky, scanned);
        if (n == 0) {
            i = scanned > i ? scanned : i + 1;
            continue;
        }
        const std::size_t end = i + n;
        const bool continues = end < s.size() && (IsDigit(s[end]) || s[end] == '.' || s[end] == 'e' ||
                                                  s[end] == 'E' || s[end] == '+' || s[end] == '-');
        if (risky && !continues) {
            list.push_back({static_cast<std::uint32_t>(i), static_cast<std::uint32_t>(kept.size()),
                            static_cast<std::uint32_t>(n)});
            kept.append(s.substr(i, n));
            source[i] = '0';
            for (std::size_t k = i + 1; k < end; ++k) source[k] = ' ';
        }
        i = end;
    }
    return list;
}

constexpr std::size_t kPadding = 3;  // the most tail bytes of a UTF-8 sequence

// Whether one of the last bytes starts a sequence whose tail would reach past the end.
bool EndsInsideACharacter(std::string_view text) {
    for (std::size_t i = text.size() > kPadding ? text.size() - kPadding : 0; i < text.size(); ++i) {
        if (static_cast<unsigned char>(text[i]) >= 0xC0) return true;
    }
    return false;
}

}  // namespace

// SAX handler that appends nodes to a document as RapidJSON reports them, in document order.
class JsonBuilder {
public:
    JsonBuilder(JsonDocument& doc, std::vector<SetAside> setAside, std::uint32_t keptBase)
        : doc_(doc), setAside_(std::move(setAside)), keptBase_(keptBase) {}

    bool Null() { return Add(JsonKind::Null, 0, 0); }
    bool Bool(bool b) { return Add(b ? JsonKind::True : JsonKind::False, 0, 0); }
    // Numbers arrive as their source text (kParseNumbersAsStringsFlag); these are never called.
    bool Int(int) { return false; }
    bool Uint(unsigned) { return false; }
    bool Int64(std::int64_t) { return false; }
    bool Uint64(std::uint64_t) { return false; }
    bool Double(double) { return false; }
    bool RawNumber(const char* str, rapidjson::SizeType length, bool) {
        std::uint32_t offset = OffsetOf(str);
        std::uint32_t size = length;
        if (nextSetAside_ < setAside_.size() && setAside_[nextSetAside_].at == offset) {
            offset = keptBase_ + setAside_[nextSetAside_].offset;
            size = setAside_[nextSetAside_].length;
            ++nextSetAside_;
        }
        return Add(JsonKind::Number, offset, size);
    }
    bool String(const char* str, rapidjson::SizeType length, bool) {
        ReplaceLoneSurrogates(str, length);
        return Add(JsonKind::String, OffsetOf(str), length);
    }
    bool Key(const char* str, rapidjson::SizeType length, bool) {
        ReplaceLoneSurrogates(str, length);
        if (length > JsonDocument::kMaxNameLength) {
            limitHit_ = "documento JSON grande demais";
            return false;
        }
        pendingNameOffset_ = OffsetOf(str);
        pendingNameLength_ = length;
        return true;
    }
    bool StartObject() { return Open(JsonKind::Object); }
    bool EndObject(rapidjson::SizeType) { return Close(); }
    bool StartArray() { return Open(JsonKind::Array); }
    bool EndArray(rapidjson::SizeType) { return Close(); }

    const char* limitHit() const { return limitHit_; }

private:
    // Strings and names are decoded in place: their texts stand in the document's buffer.
    std::uint32_t OffsetOf(const char* str) const {
        return static_cast<std::uint32_t>(str - doc_.buffer_.data());
    }

    // The reader takes an escaped low surrogate without its high one ("\\udc00") and writes it as
    // the three bytes ED B0 80, which are no UTF-8. It becomes U+FFFD, three bytes as well, as
    // any undecodable text of an answer does, so that the document's texts are valid UTF-8.
    void ReplaceLoneSurrogates(const char* str, std::size_t length) {
        char* text = doc_.buffer_.data() + OffsetOf(str);
        for (std::size_t i = 0; i + 2 < length; ++i) {
            if (static_cast<unsigned char>(text[i]) == 0xED && static_cast<unsigned char>(text[i + 1]) >= 0xA0) {
                text[i] = '\xEF';
                text[i + 1] = '\xBF';
                text[i + 2] = '\xBD';
                i += 2;
            }
        }
    }

    bool Add(JsonKind kind, std::uint32_t offset, std::uint32_t length) {
        if (doc_.nodes_.size() >= kMaxIndex) {
            limitHit_ = "documento JSON grande demais";
            return false;
        }
        JsonDocument::Node node;
        node.first = offset;
        node.second = length;
        node.nameAndKind = static_cast<std::uint32_t>(kind);
        if (!open_.empty()) {
            JsonDocument::Node& parent = doc_.nodes_[open_.back()];
            if (doc_.KindOf(open_.back()) == JsonKind::Object) {
                node.nameOffset = pendingNameOffset_;
                node.nameAndKind |= pendingNameLength_ << JsonDocument::kKindBits;
            }
            ++parent.first;
        }
        doc_.nodes_.push_back(node);
        return true;
    }

    bool Open(JsonKind kind) {
        if (open_.size() >= JsonDocument::kMaxDepth) {
            limitHit_ = "JSON aninhado demais";
            return false;
        }
        if (!Add(kind, 0, 0)) return false;
        open_.push_back(static_cast<std::uint32_t>(doc_.nodes_.size() - 1));
        return true;
    }

    bool Close() {
        const std::uint32_t index = open_.back();
        open_.pop_back();
        doc_.nodes_[index].second = static_cast<std::uint32_t>(doc_.nodes_.size() - index);
        return true;
    }

    JsonDocument& doc_;
    std::vector<std::uint32_t> open_;
    std::vector<SetAside> setAside_;
    std::size_t nextSetAside_ = 0;
    std::uint32_t keptBase_;
    std::uint32_t pendingNameOffset_ = 0;
    std::uint32_t pendingNameLength_ = 0;
    const char* limitHit_ = nullptr;
};

JsonDocument JsonDocument::Parse(std::string_view utf8) {
    std::string copy;
    copy.reserve(utf8.size() + kPadding);
    copy.assign(utf8);
    return ParseInPlace(std::move(copy));
}

JsonDocument JsonDocument::ParseInPlace(std::string&& utf8) {
    JsonDocument doc;
    doc.buffer_ = std::move(utf8);
    const std::size_t length = doc.buffer_.size();
    std::string kept;
    std::vector<SetAside> setAside = SetAsideLongNumbers(doc.buffer_, length, kept);
    // The reader stops at the NUL that ends the string, but checking a UTF-8 sequence it takes
    // the sequence's tail bytes unseen: a text cut after a lead byte has it read up to three
    // bytes past the end. Only such a text, or one with numbers kept, grows, as growing a large
    // text may copy it.
    std::size_t keptBase = length;
    if (EndsInsideACharacter(doc.buffer_) || !kept.empty()) {
        doc.buffer_.append(kPadding, '\0');
        keptBase = doc.buffer_.size();
        doc.buffer_.append(kept);
    }
    if (doc.buffer_.size() > kMaxIndex) throw JsonError("documento JSON grande demais");

    JsonBuilder builder(doc, std::move(setAside), static_cast<std::uint32_t>(keptBase));
    rapidjson::InsituStringStream input(doc.buffer_.data());
    rapidjson::Reader reader;
    // Iterative parsing keeps the call stack flat however deep the document is nested.
    constexpr unsigned kFlags = rapidjson::kParseInsituFlag | rapidjson::kParseIterativeFlag |
                                rapidjson::kParseValidateEncodingFlag | rapidjson::kParseNumbersAsStringsFlag;
    const rapidjson::ParseResult result = reader.Parse<kFlags>(input, builder);
    if (builder.limitHit() != nullptr) {
        throw JsonError(std::string(builder.limitHit()) + " na posição " + std::to_string(result.Offset()) +
                        " (mais de " + std::to_string(kMaxDepth) + " níveis)");
    }
    if (result.IsError()) {
        throw JsonError(std::string("JSON inválido na posição ") + std::to_string(result.Offset()) + ": " +
                        rapidjson::GetParseError_En(result.Code()));
    }
    // The reader takes a NUL byte for the end of its input; anything after one is not JSON.
    if (input.Tell() != length) {
        throw JsonError("JSON inválido na posição " + std::to_string(input.Tell()) + ": caractere nulo");
    }
    return doc;
}

std::optional<JsonDocument> JsonDocument::TryParse(std::string_view utf8) {
    try {
        return Parse(utf8);
    } catch (const JsonError&) {
        return std::nullopt;
    }
}

std::uint32_t JsonDocument::Extent(std::uint32_t index) const {
    const JsonKind kind = KindOf(index);
    return kind == JsonKind::Array || kind == JsonKind::Object ? nodes_[index].second : 1;
}

JsonKind JsonValue::kind() const { return doc_->KindOf(index_); }

std::string_view JsonValue::text() const {
    const JsonKind k = kind();
    if (k != JsonKind::String && k != JsonKind::Number) return {};
    const JsonDocument::Node& node = doc_->nodes_[index_];
    return std::string_view(doc_->buffer_).substr(node.first, node.second);
}

std::string_view JsonValue::name() const {
    const JsonDocument::Node& node = doc_->nodes_[index_];
    return std::string_view(doc_->buffer_).substr(node.nameOffset, node.nameAndKind >> JsonDocument::kKindBits);
}

std::size_t JsonValue::size() const {
    const JsonKind k = kind();
    return k == JsonKind::Array || k == JsonKind::Object ? doc_->nodes_[index_].first : 0;
}

std::optional<JsonValue> JsonValue::Find(std::string_view memberName) const {
    if (kind() != JsonKind::Object) return std::nullopt;
    for (JsonValue member : *this) {
        if (member.name() == memberName) return member;
    }
    return std::nullopt;
}

JsonValue::Iterator& JsonValue::Iterator::operator++() {
    index_ += doc_->Extent(index_);
    --remaining_;
    return *this;
}

JsonValue::Iterator JsonValue::begin() const {
    return Iterator(doc_, index_ + 1, static_cast<std::uint32_t>(size()));
}

JsonValue::Iterator JsonValue::end() const { return Iterator(doc_, 0, 0); }

}  // namespace vr
