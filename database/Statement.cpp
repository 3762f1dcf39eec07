#include "database/Statement.h"

#include <firebird/Interface.h>

#include <string>
#include <utility>

#include "database/Attachment.h"
#include "database/Client.h"
#include "database/Latin1.h"
#include "database/Transaction.h"

namespace vr::db {

// Every call below that may wait on the server goes through the attachment's call watch.

Cursor::Cursor(Cursor&& other) noexcept
    : client_(other.client_), context_(other.context_), handle_(std::exchange(other.handle_, nullptr)) {}

Cursor::~Cursor() { Reset(); }

void Cursor::Reset() noexcept {
    if (handle_ == nullptr) return;
    Status status(*client_);
    {
        CallWatch::Scope call = context_.Enter(*client_);
        handle_->close(status.get());
    }
    if (status.Failed()) handle_->release();
    handle_ = nullptr;
}

void Cursor::Abandon() noexcept {
    context_.Defer(handle_);
    handle_ = nullptr;
}

bool Cursor::Fetch(MessageBuffer& out) {
    Status status(*client_);
    CallWatch::Scope call = context_.Enter(*client_);
    const int result = handle_->fetchNext(status.get(), out.data());
    status.Check(call.End());
    return result == Firebird::IStatus::RESULT_OK;
}

void Cursor::Close() {
    if (handle_ == nullptr) return;
    Status status(*client_);
    CallWatch::Scope call = context_.Enter(*client_);
    handle_->close(status.get());
    const auto abandoned = call.End();
    if (status.Failed()) handle_->release();
    handle_ = nullptr;
    status.Check(abandoned);
}

Statement Statement::Prepare(Attachment& attachment, Transaction& transaction, std::string_view sqlUtf8) {
    const std::string sql = Utf8ToLatin1(sqlUtf8);
    Status status(attachment.client());
    const CallContext context = attachment.context();
    CallWatch::Scope call = context.Enter(attachment.client());
    Firebird::IStatement* handle =
        attachment.get()->prepare(status.get(), transaction.get(), static_cast<unsigned>(sql.size()), sql.c_str(),
                                  static_cast<unsigned>(attachment.dialect()),
                                  Firebird::IStatement::PREPARE_PREFETCH_METADATA);
    status.Check(call.End());
    return Statement(attachment.client(), context, handle);
}

Statement::Statement(Statement&& other) noexcept
    : client_(other.client_), context_(other.context_), handle_(std::exchange(other.handle_, nullptr)) {}

Statement& Statement::operator=(Statement&& other) noexcept {
    if (this != &other) {
        Reset();
        client_ = other.client_;
        context_ = other.context_;
        handle_ = std::exchange(other.handle_, nullptr);
    }
    return *this;
}

Statement::~Statement() { Reset(); }

void Statement::Reset() noexcept {
    if (handle_ == nullptr) return;
    Status status(*client_);
    {
        CallWatch::Scope call = context_.Enter(*client_);
        handle_->free(status.get());
    }
    if (status.Failed()) handle_->release();
    handle_ = nullptr;
}

void Statement::Free() {
    if (handle_ == nullptr) return;
    Status status(*client_);
    CallWatch::Scope call = context_.Enter(*client_);
    handle_->free(status.get());
    const auto abandoned = call.End();
    if (status.Failed()) handle_->release();
    handle_ = nullptr;
    status.Check(abandoned);
}

void Statement::Abandon() noexcept {
    context_.Defer(handle_);
    handle_ = nullptr;
}

// The descriptions were fetched with the prepare: these two ask the server nothing.
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
    CallWatch::Scope call = context_.Enter(*client_);
    handle_->execute(status.get(), transaction.get(), in ? in->metadata() : nullptr, in ? in->data() : nullptr,
                     out ? out->metadata() : nullptr, out ? out->data() : nullptr);
    status.Check(call.End());
}

std::uint64_t Statement::AffectedRecords() {
    Status status(*client_);
    CallWatch::Scope call = context_.Enter(*client_);
    const std::uint64_t count = handle_->getAffectedRecords(status.get());
    status.Check(call.End());
    return count;
}

Cursor Statement::Open(Transaction& transaction, MessageBuffer* in, MessageBuffer& out) {
    Status status(*client_);
    CallWatch::Scope call = context_.Enter(*client_);
    Firebird::IResultSet* handle =
        handle_->openCursor(status.get(), transaction.get(), in ? in->metadata() : nullptr,
                            in ? in->data() : nullptr, out.metadata(), 0);
    status.Check(call.End());
    return Cursor(*client_, context_, handle);
}

}  // namespace vr::db
