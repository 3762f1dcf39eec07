#include "database/Statement.h"

#include <firebird/Interface.h>

#include <string>
#include <utility>

#include "database/Attachment.h"
#include "database/Client.h"
#include "database/Latin1.h"
#include "database/Transaction.h"

namespace vr::db {

Cursor::Cursor(Cursor&& other) noexcept : client_(other.client_), handle_(std::exchange(other.handle_, nullptr)) {}

Cursor::~Cursor() { Reset(); }

void Cursor::Reset() noexcept {
    if (handle_ == nullptr) return;
    Status status(*client_);
    handle_->close(status.get());
    if (status.Failed()) handle_->release();
    handle_ = nullptr;
}

void Cursor::Abandon() noexcept {
    DeferRelease(handle_);
    handle_ = nullptr;
}

bool Cursor::Fetch(MessageBuffer& out) {
    Status status(*client_);
    const int result = handle_->fetchNext(status.get(), out.data());
    status.Check();
    return result == Firebird::IStatus::RESULT_OK;
}

void Cursor::Close() {
    if (handle_ == nullptr) return;
    Status status(*client_);
    handle_->close(status.get());
    if (status.Failed()) handle_->release();
    handle_ = nullptr;
    status.Check();
}

Statement Statement::Prepare(Attachment& attachment, Transaction& transaction, std::string_view sqlUtf8) {
    const std::string sql = Utf8ToLatin1(sqlUtf8);
    Status status(attachment.client());
    Firebird::IStatement* handle =
        attachment.get()->prepare(status.get(), transaction.get(), static_cast<unsigned>(sql.size()), sql.c_str(),
                                  static_cast<unsigned>(attachment.dialect()),
                                  Firebird::IStatement::PREPARE_PREFETCH_METADATA);
    status.Check();
    return Statement(attachment.client(), handle);
}

Statement::Statement(Statement&& other) noexcept
    : client_(other.client_), handle_(std::exchange(other.handle_, nullptr)) {}

Statement& Statement::operator=(Statement&& other) noexcept {
    if (this != &other) {
        Reset();
        client_ = other.client_;
        handle_ = std::exchange(other.handle_, nullptr);
    }
    return *this;
}

Statement::~Statement() { Reset(); }

void Statement::Reset() noexcept {
    if (handle_ == nullptr) return;
    Status status(*client_);
    handle_->free(status.get());
    if (status.Failed()) handle_->release();
    handle_ = nullptr;
}

void Statement::Free() {
    if (handle_ == nullptr) return;
    Status status(*client_);
    handle_->free(status.get());
    if (status.Failed()) handle_->release();
    handle_ = nullptr;
    status.Check();
}

void Statement::Abandon() noexcept {
    DeferRelease(handle_);
    handle_ = nullptr;
}

MessageBuffer Statement::NewInput() const {
    Status status(*client_);
    Firebird::IMessageMetadata* metadata = handle_->getInputMetadata(status.get());
    status.Check();
    MessageBuffer buffer(*client_, metadata);  // takes its own reference
    metadata->release();
    return buffer;
}

MessageBuffer Statement::NewOutput() const {
    Status status(*client_);
    Firebird::IMessageMetadata* metadata = handle_->getOutputMetadata(status.get());
    status.Check();
    MessageBuffer buffer(*client_, metadata);
    metadata->release();
    return buffer;
}

void Statement::Execute(Transaction& transaction, MessageBuffer* in, MessageBuffer* out) {
    Status status(*client_);
    handle_->execute(status.get(), transaction.get(), in ? in->metadata() : nullptr, in ? in->data() : nullptr,
                     out ? out->metadata() : nullptr, out ? out->data() : nullptr);
    status.Check();
}

std::uint64_t Statement::AffectedRecords() {
    Status status(*client_);
    const std::uint64_t count = handle_->getAffectedRecords(status.get());
    status.Check();
    return count;
}

Cursor Statement::Open(Transaction& transaction, MessageBuffer* in, MessageBuffer& out) {
    Status status(*client_);
    Firebird::IResultSet* handle =
        handle_->openCursor(status.get(), transaction.get(), in ? in->metadata() : nullptr,
                            in ? in->data() : nullptr, out.metadata(), 0);
    status.Check();
    return Cursor(*client_, handle);
}

}  // namespace vr::db
