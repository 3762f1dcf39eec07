#include "database/Transaction.h"

#include <firebird/Interface.h>

#include <utility>
#include <vector>

#include "database/Attachment.h"
#include "database/Client.h"

namespace vr::db {

Transaction Transaction::Start(Attachment& attachment, bool readOnly) {
    // version3, read_committed, rec_version, nowait, read or write (the bytes the builder makes).
    const std::vector<unsigned char> tpb = {isc_tpb_version3, isc_tpb_read_committed, isc_tpb_rec_version,
                                            isc_tpb_nowait,
                                            static_cast<unsigned char>(readOnly ? isc_tpb_read : isc_tpb_write)};
    Status status(attachment.client());
    const CallContext context = attachment.context();
    CallWatch::Scope call = context.Enter(attachment.client());
    Firebird::ITransaction* handle =
        attachment.get()->startTransaction(status.get(), static_cast<unsigned>(tpb.size()), tpb.data());
    status.Check(call.End());
    return Transaction(attachment.client(), context, handle);
}

Transaction::Transaction(Transaction&& other) noexcept
    : client_(other.client_), context_(other.context_), handle_(std::exchange(other.handle_, nullptr)) {}

Transaction& Transaction::operator=(Transaction&& other) noexcept {
    if (this != &other) {
        Drop();
        client_ = other.client_;
        context_ = other.context_;
        handle_ = std::exchange(other.handle_, nullptr);
    }
    return *this;
}

Transaction::~Transaction() { Drop(); }

void Transaction::Abandon() noexcept {
    context_.Defer(handle_);
    handle_ = nullptr;
}

void Transaction::Commit() {
    if (handle_ == nullptr) return;
    Status status(*client_);
    CallWatch::Scope call = context_.Enter(*client_);
    handle_->commit(status.get());
    // An abandoned commit may still have committed: the server may have it already.
    status.Check(call.End());  // the handle is released by a successful commit, kept by a failed one
    handle_ = nullptr;
}

void Transaction::Rollback() {
    if (handle_ == nullptr) return;
    Status status(*client_);
    CallWatch::Scope call = context_.Enter(*client_);
    handle_->rollback(status.get());
    const auto abandoned = call.End();
    if (status.Failed()) handle_->release();
    handle_ = nullptr;
    status.Check(abandoned);
}

void Transaction::Drop() noexcept {
    if (handle_ == nullptr) return;
    // On a lost attachment the rollback fails at once and the handle is released instead.
    Status status(*client_);
    {
        CallWatch::Scope call = context_.Enter(*client_);
        handle_->rollback(status.get());
    }
    if (status.Failed()) handle_->release();
    handle_ = nullptr;
}

}  // namespace vr::db
