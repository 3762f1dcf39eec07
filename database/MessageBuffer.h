#pragma once

// The binding between values and the message buffer of a statement's parameters or of one row,
// laid out by the server's description of the message. Text follows the connection's fixed
// rules: ISO-8859-1 on the wire, CHAR without trailing blanks, empty text as NULL, text longer
// than the field cut to its length.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/Clock.h"
#include "database/Values.h"

namespace Firebird {
class IMessageMetadata;
}

namespace vr::db {

class Client;

enum class FieldType { Char, VarChar, SmallInt, Integer, BigInt, Float, Double, Date, Time, Timestamp, Boolean, Blob, Other };

struct FieldInfo {
    std::string name;   // column or output parameter; empty for "?" parameters until named
    std::string alias;  // the name a column is read by
    FieldType type = FieldType::Other;
    int scale = 0;
    unsigned length = 0;  // bytes of the value (for VARCHAR, without its length word)
    unsigned charSet = 0;
    unsigned offset = 0;
    unsigned nullOffset = 0;

    bool IsText() const { return type == FieldType::Char || type == FieldType::VarChar; }
    std::string Label() const { return alias.empty() ? name : alias; }
};

// A value copied out of a buffer: its bytes as the field's type lays them out (for VARCHAR,
// the text without its length word).
struct RawValue {
    bool null = true;
    std::string bytes;
    friend bool operator==(const RawValue&, const RawValue&) = default;
};

class MessageBuffer {
public:
    // Keeps its own reference to metadata.
    MessageBuffer(const Client& client, Firebird::IMessageMetadata* metadata);
    ~MessageBuffer();
    MessageBuffer(MessageBuffer&& other) noexcept;
    MessageBuffer& operator=(MessageBuffer&& other) noexcept;
    MessageBuffer(const MessageBuffer&) = delete;
    MessageBuffer& operator=(const MessageBuffer&) = delete;

    std::size_t count() const { return fields_.size(); }
    const FieldInfo& field(std::size_t i) const { return fields_.at(i); }
    void SetName(std::size_t i, std::string name);
    // The field read by name (letter case ignored), if any.
    std::optional<std::size_t> Find(std::string_view name) const;

    Firebird::IMessageMetadata* metadata() const { return metadata_; }
    unsigned char* data() { return reinterpret_cast<unsigned char*>(storage_.data()); }

    // Writing: a value of any kind goes into a field of any type the server can take it as;
    // a value that does not fit the field throws vr::Error naming the field.
    void SetNull(std::size_t i);
    void SetText(std::size_t i, std::string_view utf8);
    void SetNumber(std::size_t i, ScaledNumber value);
    void SetDateTime(std::size_t i, const LocalDateTime& moment);
    void SetRaw(std::size_t i, const RawValue& value);  // a value read from a field of the same type

    RawValue Raw(std::size_t i) const;

private:
    const unsigned char* bytes() const { return reinterpret_cast<const unsigned char*>(storage_.data()); }
    void SetPresent(std::size_t i);
    void SetInteger(std::size_t i, std::int64_t value);

    Firebird::IMessageMetadata* metadata_;
    std::vector<FieldInfo> fields_;
    std::vector<std::uint64_t> storage_;  // 8-byte aligned, as the layout's offsets assume
};

// Reading a copied value with the connection's rules: NULL and empty text read as empty text,
// CHAR without trailing blanks. A date-time of NULL is the zero date 1899-12-30 00:00:00.
bool IsNullValue(const FieldInfo& field, const RawValue& value);
std::string ReadText(const FieldInfo& field, const RawValue& value);
LocalDateTime ReadDateTime(const FieldInfo& field, const RawValue& value);

}  // namespace vr::db
