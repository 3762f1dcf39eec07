#include "database/MessageBuffer.h"

#include <firebird/Interface.h>

#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>
#include <utility>

#include "common/Error.h"
#include "common/Text.h"
#include "database/Client.h"
#include "database/Latin1.h"

namespace vr::db {
namespace {

FieldType TypeOf(unsigned sqlType) {
    switch (sqlType) {
        case SQL_TEXT: return FieldType::Char;
        case SQL_VARYING: return FieldType::VarChar;
        case SQL_SHORT: return FieldType::SmallInt;
        case SQL_LONG: return FieldType::Integer;
        case SQL_INT64: return FieldType::BigInt;
        case SQL_FLOAT: return FieldType::Float;
        case SQL_DOUBLE: return FieldType::Double;
        case SQL_TYPE_DATE: return FieldType::Date;
        case SQL_TYPE_TIME: return FieldType::Time;
        case SQL_TIMESTAMP: return FieldType::Timestamp;
        case SQL_BOOLEAN: return FieldType::Boolean;
        case SQL_BLOB: return FieldType::Blob;
        default: return FieldType::Other;
    }
}

template <typename T>
T Load(const unsigned char* at) {
    T value;
    std::memcpy(&value, at, sizeof value);
    return value;
}

template <typename T>
void Store(unsigned char* at, T value) {
    std::memcpy(at, &value, sizeof value);
}

std::string_view TrimTrailingBlanks(std::string_view s) {
    while (!s.empty() && s.back() == ' ') s.remove_suffix(1);
    return s;
}

[[noreturn]] void Refuse(const FieldInfo& field, const std::string& why) {
    const std::string label = field.Label();
    throw Error("Valor inválido para " + (label.empty() ? std::string("o parâmetro") : label) + ": " + why);
}

std::int64_t ReadInteger(const FieldInfo& field, const RawValue& value) {
    const auto* at = reinterpret_cast<const unsigned char*>(value.bytes.data());
    switch (field.type) {
        case FieldType::SmallInt: return Load<std::int16_t>(at);
        case FieldType::Integer: return Load<std::int32_t>(at);
        default: return Load<std::int64_t>(at);
    }
}

}  // namespace

MessageBuffer::MessageBuffer(const Client& client, Firebird::IMessageMetadata* metadata) : metadata_(metadata) {
    Status status(client);
    auto* st = status.get();
    const unsigned count = metadata_->getCount(st);
    status.Check();
    fields_.reserve(count);
    for (unsigned i = 0; i < count; ++i) {
        FieldInfo f;
        f.name = Latin1ToUtf8(metadata_->getField(st, i));
        f.alias = Latin1ToUtf8(metadata_->getAlias(st, i));
        f.type = TypeOf(metadata_->getType(st, i));
        f.scale = metadata_->getScale(st, i);
        f.length = metadata_->getLength(st, i);
        f.charSet = metadata_->getCharSet(st, i);
        f.offset = metadata_->getOffset(st, i);
        f.nullOffset = metadata_->getNullOffset(st, i);
        status.Check();
        fields_.push_back(std::move(f));
    }
    const unsigned length = metadata_->getMessageLength(st);
    status.Check();
    storage_.assign((length + sizeof(std::uint64_t) - 1) / sizeof(std::uint64_t) + 1, 0);
    for (std::size_t i = 0; i < fields_.size(); ++i) SetNull(i);
    metadata_->addRef();  // last: a constructor that throws must not keep a reference
}

MessageBuffer::~MessageBuffer() {
    if (metadata_ != nullptr) metadata_->release();
}

MessageBuffer::MessageBuffer(MessageBuffer&& other) noexcept
    : metadata_(std::exchange(other.metadata_, nullptr)),
      fields_(std::move(other.fields_)),
      storage_(std::move(other.storage_)) {}

MessageBuffer& MessageBuffer::operator=(MessageBuffer&& other) noexcept {
    if (this != &other) {
        if (metadata_ != nullptr) metadata_->release();
        metadata_ = std::exchange(other.metadata_, nullptr);
        fields_ = std::move(other.fields_);
        storage_ = std::move(other.storage_);
    }
    return *this;
}

void MessageBuffer::SetName(std::size_t i, std::string name) { fields_.at(i).name = std::move(name); }

std::optional<std::size_t> MessageBuffer::Find(std::string_view name) const {
    for (std::size_t i = 0; i < fields_.size(); ++i) {
        if (text::EqualsIgnoreAsciiCase(fields_[i].Label(), name)) return i;
    }
    return std::nullopt;
}

void MessageBuffer::SetNull(std::size_t i) {
    const FieldInfo& f = fields_.at(i);
    Store<std::int16_t>(data() + f.nullOffset, -1);
}

void MessageBuffer::SetPresent(std::size_t i) { Store<std::int16_t>(data() + fields_.at(i).nullOffset, 0); }

void MessageBuffer::SetInteger(std::size_t i, std::int64_t value) {
    const FieldInfo& f = fields_.at(i);
    unsigned char* at = data() + f.offset;
    switch (f.type) {
        case FieldType::SmallInt:
            if (value < std::numeric_limits<std::int16_t>::min() || value > std::numeric_limits<std::int16_t>::max()) {
                Refuse(f, "fora do intervalo");
            }
            Store(at, static_cast<std::int16_t>(value));
            break;
        case FieldType::Integer:
            if (value < std::numeric_limits<std::int32_t>::min() || value > std::numeric_limits<std::int32_t>::max()) {
                Refuse(f, "fora do intervalo");
            }
            Store(at, static_cast<std::int32_t>(value));
            break;
        default:
            Store(at, value);
            break;
    }
    SetPresent(i);
}

void MessageBuffer::SetText(std::size_t i, std::string_view utf8) {
    const FieldInfo& f = fields_.at(i);
    if (!f.IsText()) {
        if (utf8.empty()) return SetNull(i);
        switch (f.type) {
            case FieldType::SmallInt:
            case FieldType::Integer:
            case FieldType::BigInt:
            case FieldType::Float:
            case FieldType::Double: {
                const auto number = ParseScaled(utf8);
                if (!number) Refuse(f, "\"" + std::string(utf8) + "\" não é um número");
                return SetNumber(i, *number);
            }
            case FieldType::Date:
            case FieldType::Timestamp: {
                const auto moment = ParseDateTime(utf8);
                if (!moment) Refuse(f, "\"" + std::string(utf8) + "\" não é uma data");
                return SetDateTime(i, *moment);
            }
            case FieldType::Boolean: {
                const bool yes = text::EqualsIgnoreAsciiCase(utf8, "true") || utf8 == "1";
                if (!yes && !text::EqualsIgnoreAsciiCase(utf8, "false") && utf8 != "0") {
                    Refuse(f, "\"" + std::string(utf8) + "\" não é lógico");
                }
                *(data() + f.offset) = yes ? 1 : 0;
                return SetPresent(i);
            }
            default: Refuse(f, "tipo de campo não suportado");
        }
    }
    std::string latin1 = Utf8ToLatin1(utf8);
    std::string_view value = latin1;
    if (f.type == FieldType::Char) value = TrimTrailingBlanks(value);
    if (value.empty()) return SetNull(i);
    // Never write past the field: the excess would land in the next field's slot.
    if (value.size() > f.length) value = value.substr(0, f.length);
    unsigned char* at = data() + f.offset;
    if (f.type == FieldType::Char) {
        std::memcpy(at, value.data(), value.size());
        std::memset(at + value.size(), ' ', f.length - value.size());
    } else {
        Store(at, static_cast<std::uint16_t>(value.size()));
        std::memcpy(at + sizeof(std::uint16_t), value.data(), value.size());
    }
    SetPresent(i);
}

void MessageBuffer::SetNumber(std::size_t i, ScaledNumber value) {
    const FieldInfo& f = fields_.at(i);
    switch (f.type) {
        case FieldType::SmallInt:
        case FieldType::Integer:
        case FieldType::BigInt:
            try {
                return SetInteger(i, Rescale(value, f.scale));
            } catch (const Error&) {
                Refuse(f, FormatScaled(value) + " fora do intervalo");
            }
        case FieldType::Float:
        case FieldType::Double: {
            const double number = static_cast<double>(value.unscaled) * std::pow(10.0, value.scale);
            if (f.type == FieldType::Float) {
                Store(data() + f.offset, static_cast<float>(number));
            } else {
                Store(data() + f.offset, number);
            }
            return SetPresent(i);
        }
        case FieldType::Char:
        case FieldType::VarChar: return SetText(i, FormatScaled(value));
        case FieldType::Boolean:
            *(data() + f.offset) = value.unscaled != 0 ? 1 : 0;
            return SetPresent(i);
        default: Refuse(f, "número em campo de outro tipo");
    }
}

void MessageBuffer::SetDateTime(std::size_t i, const LocalDateTime& moment) {
    const FieldInfo& f = fields_.at(i);
    unsigned char* at = data() + f.offset;
    switch (f.type) {
        case FieldType::Date: Store(at, ToIscDate(moment)); break;
        case FieldType::Time: Store(at, ToIscTime(moment)); break;
        case FieldType::Timestamp:
            Store(at, ToIscDate(moment));
            Store(at + sizeof(std::int32_t), ToIscTime(moment));
            break;
        case FieldType::Char:
        case FieldType::VarChar: return SetText(i, FormatTimestamp(moment));
        default: Refuse(f, "data em campo de outro tipo");
    }
    SetPresent(i);
}

void MessageBuffer::SetRaw(std::size_t i, const RawValue& value) {
    const FieldInfo& f = fields_.at(i);
    if (value.null) return SetNull(i);
    unsigned char* at = data() + f.offset;
    if (f.type == FieldType::VarChar) {
        if (value.bytes.size() > f.length) Refuse(f, "texto maior que o campo");
        Store(at, static_cast<std::uint16_t>(value.bytes.size()));
        std::memcpy(at + sizeof(std::uint16_t), value.bytes.data(), value.bytes.size());
    } else {
        if (value.bytes.size() != f.length) Refuse(f, "tipo diferente do lido");
        std::memcpy(at, value.bytes.data(), value.bytes.size());
    }
    SetPresent(i);
}

RawValue MessageBuffer::Raw(std::size_t i) const {
    const FieldInfo& f = fields_.at(i);
    RawValue value;
    value.null = Load<std::int16_t>(bytes() + f.nullOffset) != 0;
    if (value.null) return value;
    const unsigned char* at = bytes() + f.offset;
    if (f.type == FieldType::VarChar) {
        const auto length = std::min<std::size_t>(Load<std::uint16_t>(at), f.length);
        value.bytes.assign(reinterpret_cast<const char*>(at + sizeof(std::uint16_t)), length);
    } else {
        value.bytes.assign(reinterpret_cast<const char*>(at), f.length);
    }
    return value;
}

bool IsNullValue(const FieldInfo& field, const RawValue& value) {
    if (value.null) return true;
    if (field.type == FieldType::Char) return TrimTrailingBlanks(value.bytes).empty();
    return field.type == FieldType::VarChar && value.bytes.empty();
}

std::string ReadText(const FieldInfo& field, const RawValue& value) {
    if (IsNullValue(field, value)) return {};
    const auto* at = reinterpret_cast<const unsigned char*>(value.bytes.data());
    switch (field.type) {
        case FieldType::Char: return Latin1ToUtf8(TrimTrailingBlanks(value.bytes));
        case FieldType::VarChar: return Latin1ToUtf8(value.bytes);
        case FieldType::SmallInt:
        case FieldType::Integer:
        case FieldType::BigInt: return FormatScaled({ReadInteger(field, value), field.scale});
        case FieldType::Float:
        case FieldType::Double: {
            const double number = field.type == FieldType::Float ? Load<float>(at) : Load<double>(at);
            char buffer[64];
            const auto result = std::to_chars(buffer, buffer + sizeof buffer, number);
            return std::string(buffer, result.ptr);
        }
        case FieldType::Date:
        case FieldType::Time:
        case FieldType::Timestamp: {
            const LocalDateTime moment = ReadDateTime(field, value);
            return field.type == FieldType::Date   ? FormatDate(moment)
                   : field.type == FieldType::Time ? FormatTime(moment)
                                                   : FormatTimestamp(moment);
        }
        case FieldType::Boolean: return *at != 0 ? "True" : "False";
        default: throw Error("O campo " + field.Label() + " tem um tipo que o serviço não lê como texto");
    }
}

LocalDateTime ReadDateTime(const FieldInfo& field, const RawValue& value) {
    if (value.null) return LocalDateTime{};
    const auto* at = reinterpret_cast<const unsigned char*>(value.bytes.data());
    switch (field.type) {
        case FieldType::Date: return FromIscDateTime(Load<std::int32_t>(at), 0);
        case FieldType::Timestamp:
            return FromIscDateTime(Load<std::int32_t>(at), Load<std::uint32_t>(at + sizeof(std::int32_t)));
        case FieldType::Time: {
            LocalDateTime moment = FromIscDateTime(0, Load<std::uint32_t>(at));
            return {1899, 12, 30, moment.hour, moment.minute, moment.second};
        }
        default: throw Error("O campo " + field.Label() + " não contém data e hora");
    }
}

}  // namespace vr::db
