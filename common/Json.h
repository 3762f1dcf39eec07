#pragma once

// A small read-only JSON document model over RapidJSON's SAX reader. It keeps what the
// classification service's answers need and a general DOM loses: members in their order,
// duplicate names (lookup returns the first), and every number's source text, whatever its size.
//
// The document owns its source text and parses it in place: strings and names are decoded where
// they stand, so their texts cost nothing beyond the source. Nodes are 16 bytes in fixed-size
// blocks, in document order (a container's members follow it), and the document is released
// without recursion.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/Error.h"

namespace vr {

class JsonError : public Error {
public:
    using Error::Error;
};

enum class JsonKind : std::uint8_t { Null, False, True, Number, String, Array, Object };

class JsonDocument;

// A handle on one value of a document; valid while the document lives.
class JsonValue {
public:
    JsonKind kind() const;
    bool IsObject() const { return kind() == JsonKind::Object; }
    bool IsArray() const { return kind() == JsonKind::Array; }

    // A string's characters (escapes resolved, UTF-8) or a number's source text; empty otherwise.
    std::string_view text() const;

    // The member name under which this value stands in its object; empty elsewhere.
    std::string_view name() const;

    // Number of elements of an array or members of an object; 0 otherwise.
    std::size_t size() const;

    // First member with exactly this name (case-sensitive), if this is an object that has one.
    std::optional<JsonValue> Find(std::string_view memberName) const;

    class Iterator {
    public:
        JsonValue operator*() const { return JsonValue(doc_, index_); }
        Iterator& operator++();
        bool operator==(const Iterator& other) const { return remaining_ == other.remaining_; }
        bool operator!=(const Iterator& other) const { return remaining_ != other.remaining_; }

    private:
        friend class JsonValue;
        Iterator(const JsonDocument* doc, std::uint32_t index, std::uint32_t remaining)
            : doc_(doc), index_(index), remaining_(remaining) {}
        const JsonDocument* doc_;
        std::uint32_t index_;
        std::uint32_t remaining_;  // elements from this one to the end
    };
    // Elements of an array or members of an object, in document order.
    Iterator begin() const;
    Iterator end() const;

private:
    friend class JsonDocument;
    JsonValue(const JsonDocument* doc, std::uint32_t index) : doc_(doc), index_(index) {}
    const JsonDocument* doc_;
    std::uint32_t index_;
};

class JsonDocument {
public:
    // Deepest nesting accepted; deeper documents are rejected.
    static constexpr unsigned kMaxDepth = 512;

    // Parses exactly one JSON value in UTF-8 (surrounding white space allowed). Throws JsonError
    // for anything else: invalid JSON, invalid UTF-8, trailing text, nesting deeper than kMaxDepth.
    // The message starts "JSON inválido na posição N: " for text that is not JSON.
    static JsonDocument Parse(std::string_view utf8);
    // The same on a text the document takes over, so that no copy of it is made.
    static JsonDocument ParseInPlace(std::string&& utf8);

    // Like Parse, but gives no document instead of throwing.
    static std::optional<JsonDocument> TryParse(std::string_view utf8);

    JsonValue root() const { return JsonValue(this, 0); }

    JsonDocument(JsonDocument&&) noexcept = default;
    JsonDocument& operator=(JsonDocument&&) noexcept = default;
    JsonDocument(const JsonDocument&) = delete;
    JsonDocument& operator=(const JsonDocument&) = delete;

    struct Node {
        std::uint32_t first = 0;   // a string's or number's text offset; a container's child count
        std::uint32_t second = 0;  // the text's length; a container's nodes, itself included
        std::uint32_t nameOffset = 0;
        std::uint32_t nameAndKind = 0;  // name length << 3 | kind
    };
    static constexpr unsigned kKindBits = 3;
    static constexpr std::uint32_t kMaxNameLength = 0xFFFFFFFFu >> kKindBits;

private:
    friend class JsonValue;
    friend class JsonBuilder;

    // Nodes in fixed-size blocks: a growing document never holds two copies of its nodes, as a
    // reallocating vector would.
    class NodeStore {
    public:
        std::size_t size() const { return size_; }
        Node& operator[](std::uint32_t i) { return blocks_[i / kBlock][i % kBlock]; }
        const Node& operator[](std::uint32_t i) const { return blocks_[i / kBlock][i % kBlock]; }
        void push_back(const Node& node) {
            if (size_ % kBlock == 0) blocks_.push_back(std::make_unique<Node[]>(kBlock));
            blocks_.back()[size_ % kBlock] = node;
            ++size_;
        }

    private:
        static constexpr std::size_t kBlock = 4096;
        std::vector<std::unique_ptr<Node[]>> blocks_;
        std::size_t size_ = 0;
    };

    JsonDocument() = default;
    JsonKind KindOf(std::uint32_t index) const {
        return static_cast<JsonKind>(nodes_[index].nameAndKind & ((1u << kKindBits) - 1));
    }
    // Nodes from this one to its next sibling.
    std::uint32_t Extent(std::uint32_t index) const;

    NodeStore nodes_;
    // The source with its strings decoded in place, NULs after it, then the texts of the numbers
    // the reader could not be given as they stand.
    std::string buffer_;
};

}  // namespace vr
