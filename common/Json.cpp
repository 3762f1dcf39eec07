#include "common/Json.h"

#include <limits>

#include <rapidjson/encodedstream.h>
#include <rapidjson/error/en.h>
#include <rapidjson/memorystream.h>
#include <rapidjson/reader.h>

namespace vr {

// SAX handler that appends nodes to a document as RapidJSON reports them.
class JsonBuilder {
public:
    explicit JsonBuilder(JsonDocument& doc) : doc_(doc) {}

    bool Null() { return Add(JsonKind::Null, {}); }
    bool Bool(bool b) { return Add(b ? JsonKind::True : JsonKind::False, {}); }
    // Numbers arrive as their source text (kParseNumbersAsStringsFlag); these are never called.
    bool Int(int) { return false; }
    bool Uint(unsigned) { return false; }
    bool Int64(std::int64_t) { return false; }
    bool Uint64(std::uint64_t) { return false; }
    bool Double(double) { return false; }
    bool RawNumber(const char* str, rapidjson::SizeType length, bool) {
        return Add(JsonKind::Number, {str, length});
    }
    bool String(const char* str, rapidjson::SizeType length, bool) {
        return Add(JsonKind::String, {str, length});
    }
    bool Key(const char* str, rapidjson::SizeType length, bool) {
        if (!Store({str, length}, pendingNameOffset_, pendingNameLength_)) return false;
        return true;
    }
    bool StartObject() { return Open(JsonKind::Object); }
    bool EndObject(rapidjson::SizeType) { return Close(); }
    bool StartArray() { return Open(JsonKind::Array); }
    bool EndArray(rapidjson::SizeType) { return Close(); }

    const char* limitHit() const { return limitHit_; }

private:
    static constexpr std::size_t kMaxIndex = JsonDocument::kNone - 1;

    bool Store(std::string_view text, std::uint32_t& offset, std::uint32_t& length) {
        if (doc_.texts_.size() + text.size() > kMaxIndex) {
            limitHit_ = "documento JSON grande demais";
            return false;
        }
        offset = static_cast<std::uint32_t>(doc_.texts_.size());
        length = static_cast<std::uint32_t>(text.size());
        doc_.texts_.append(text);
        return true;
    }

    bool Add(JsonKind kind, std::string_view text) {
        if (doc_.nodes_.size() >= kMaxIndex) {
            limitHit_ = "documento JSON grande demais";
            return false;
        }
        JsonDocument::Node node;
        node.kind = kind;
        if (!text.empty() && !Store(text, node.textOffset, node.textLength)) return false;
        const auto index = static_cast<std::uint32_t>(doc_.nodes_.size());
        if (!open_.empty()) {
            OpenContainer& parent = open_.back();
            JsonDocument::Node& parentNode = doc_.nodes_[parent.index];
            if (parentNode.kind == JsonKind::Object) {
                node.nameOffset = pendingNameOffset_;
                node.nameLength = pendingNameLength_;
            }
            if (parent.lastChild == JsonDocument::kNone) {
                parentNode.firstChild = index;
            } else {
                doc_.nodes_[parent.lastChild].nextSibling = index;
            }
            ++parentNode.childCount;
            parent.lastChild = index;
        }
        doc_.nodes_.push_back(node);
        return true;
    }

    bool Open(JsonKind kind) {
        if (open_.size() >= JsonDocument::kMaxDepth) {
            limitHit_ = "documento JSON aninhado demais";
            return false;
        }
        if (!Add(kind, {})) return false;
        open_.push_back({static_cast<std::uint32_t>(doc_.nodes_.size() - 1), JsonDocument::kNone});
        return true;
    }

    bool Close() {
        open_.pop_back();
        return true;
    }

    struct OpenContainer {
        std::uint32_t index;
        std::uint32_t lastChild;
    };

    JsonDocument& doc_;
    std::vector<OpenContainer> open_;
    std::uint32_t pendingNameOffset_ = 0;
    std::uint32_t pendingNameLength_ = 0;
    const char* limitHit_ = nullptr;
};

JsonDocument JsonDocument::Parse(std::string_view utf8) {
    JsonDocument doc;
    // Escapes only shrink, so the texts never need more room than the input.
    doc.texts_.reserve(utf8.size());
    JsonBuilder builder(doc);
    rapidjson::MemoryStream memory(utf8.data(), utf8.size());
    rapidjson::EncodedInputStream<rapidjson::UTF8<>, rapidjson::MemoryStream> input(memory);
    rapidjson::Reader reader;
    // Iterative parsing keeps the call stack flat however deep the document is nested.
    constexpr unsigned kFlags = rapidjson::kParseIterativeFlag | rapidjson::kParseValidateEncodingFlag |
                                rapidjson::kParseNumbersAsStringsFlag;
    const rapidjson::ParseResult result = reader.Parse<kFlags>(input, builder);
    if (builder.limitHit() != nullptr) throw JsonError(builder.limitHit());
    if (result.IsError()) {
        throw JsonError(std::string("JSON inválido na posição ") + std::to_string(result.Offset()) +
                        ": " + rapidjson::GetParseError_En(result.Code()));
    }
    // The reader takes a NUL byte for the end of its input; anything after one is not JSON.
    if (input.Tell() != utf8.size()) {
        throw JsonError("JSON inválido na posição " + std::to_string(input.Tell()) +
                        ": caractere nulo");
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

JsonKind JsonValue::kind() const { return doc_->nodes_[index_].kind; }

std::string_view JsonValue::text() const {
    const JsonDocument::Node& node = doc_->nodes_[index_];
    return std::string_view(doc_->texts_).substr(node.textOffset, node.textLength);
}

std::string_view JsonValue::name() const {
    const JsonDocument::Node& node = doc_->nodes_[index_];
    return std::string_view(doc_->texts_).substr(node.nameOffset, node.nameLength);
}

std::size_t JsonValue::size() const { return doc_->nodes_[index_].childCount; }

std::optional<JsonValue> JsonValue::Find(std::string_view memberName) const {
    if (kind() != JsonKind::Object) return std::nullopt;
    for (JsonValue member : *this) {
        if (member.name() == memberName) return member;
    }
    return std::nullopt;
}

JsonValue::Iterator& JsonValue::Iterator::operator++() {
    index_ = doc_->nodes_[index_].nextSibling;
    return *this;
}

JsonValue::Iterator JsonValue::begin() const {
    return Iterator(doc_, doc_->nodes_[index_].firstChild);
}

JsonValue::Iterator JsonValue::end() const { return Iterator(doc_, JsonDocument::kNone); }

}  // namespace vr
