#include "database/Attachment.h"

#include <firebird/Interface.h>

#include <utility>

#include "database/Client.h"
#include "database/Latin1.h"
#include "database/Transaction.h"

namespace vr::db {
namespace {

// The parameter block of an attachment; the builder lives only while the call is made.
class Dpb {
public:
    Dpb(const Client& client, const AttachParams& params, bool creating) : status_(client) {
        builder_ = client.util()->getXpbBuilder(status_.get(), Firebird::IXpbBuilder::DPB, nullptr, 0);
        status_.Check();
        try {
            Fill(params, creating);
        } catch (...) {
            builder_->dispose();
            throw;
        }
    }
    ~Dpb() { builder_->dispose(); }
    Dpb(const Dpb&) = delete;
    Dpb& operator=(const Dpb&) = delete;

    unsigned length() {
        const unsigned n = builder_->getBufferLength(status_.get());
        status_.Check();
        return n;
    }
    const unsigned char* buffer() {
        const unsigned char* b = builder_->getBuffer(status_.get());
        status_.Check();
        return b;
    }

private:
    void Fill(const AttachParams& params, bool creating) {
        auto* st = status_.get();
        builder_->insertString(st, isc_dpb_user_name, params.user.c_str());
        builder_->insertString(st, isc_dpb_password, params.password.c_str());
        builder_->insertString(st, isc_dpb_lc_ctype, params.charSet.c_str());
        builder_->insertInt(st, isc_dpb_sql_dialect, params.dialect);
        // Zero would make every attach fail at once, not wait without limit.
        if (params.firstAnswerTimeout.count() > 0) {
            builder_->insertInt(st, isc_dpb_connect_timeout, static_cast<int>(params.firstAnswerTimeout.count()));
        }
        if (creating) {
            builder_->insertString(st, isc_dpb_set_db_charset, params.charSet.c_str());
            builder_->insertInt(st, isc_dpb_force_write, params.forcedWrites ? 1 : 0);
        }
        status_.Check();
    }

    Status status_;
    Firebird::IXpbBuilder* builder_ = nullptr;
};

Firebird::IAttachment* Open(const Client& client, const AttachParams& params, bool creating) {
    Dpb dpb(client, params, creating);
    Status status(client);
    Firebird::IProvider* provider = client.master()->getDispatcher();
    const std::string path = Utf8ToLatin1(params.connectString);
    Firebird::IAttachment* handle =
        creating ? provider->createDatabase(status.get(), path.c_str(), dpb.length(), dpb.buffer())
                 : provider->attachDatabase(status.get(), path.c_str(), dpb.length(), dpb.buffer());
    provider->release();
    status.Check();
    return handle;
}

}  // namespace

Attachment Attachment::Attach(const Client& client, const AttachParams& params, CallWatch* watch,
                              DeferredReleases* deferred) {
    return Attachment(client, Open(client, params, false), params.dialect, watch, deferred);
}

Attachment Attachment::Create(const Client& client, const AttachParams& params) {
    return Attachment(client, Open(client, params, true), params.dialect, nullptr, nullptr);
}

Attachment::Attachment(Attachment&& other) noexcept
    : client_(other.client_),
      handle_(std::exchange(other.handle_, nullptr)),
      dialect_(other.dialect_),
      watch_(other.watch_),
      deferred_(other.deferred_) {}

Attachment& Attachment::operator=(Attachment&& other) noexcept {
    if (this != &other) {
        Reset();
        client_ = other.client_;
        handle_ = std::exchange(other.handle_, nullptr);
        dialect_ = other.dialect_;
        watch_ = other.watch_;
        deferred_ = other.deferred_;
    }
    return *this;
}

Attachment::~Attachment() { Reset(); }

void Attachment::Reset() noexcept {
    if (handle_ == nullptr) return;
    Status status(*client_);
    {
        // A detach on a frozen connection blocks like any call; aborted at the bound it returns OK.
        CallWatch::Scope call = context().Enter(*client_);
        handle_->detach(status.get());
    }
    // detach releases the interface when it succeeds; when it fails it is still ours.
    if (status.Failed()) handle_->release();
    handle_ = nullptr;
}

void Attachment::Detach() {
    if (handle_ == nullptr) return;
    Status status(*client_);
    CallWatch::Scope call = context().Enter(*client_);
    handle_->detach(status.get());
    const auto abandoned = call.End();
    if (status.Failed()) handle_->release();
    handle_ = nullptr;
    status.Check(abandoned);
}

void Attachment::Drop() {
    if (handle_ == nullptr) return;
    Status status(*client_);
    handle_->dropDatabase(status.get());
    if (!status.Failed()) {
        handle_ = nullptr;
        return;
    }
    const DatabaseError error = status.ToError();
    Reset();
    throw error;
}

void Attachment::ExecuteImmediate(Transaction& transaction, std::string_view sqlUtf8) {
    Status status(*client_);
    const std::string sql = Utf8ToLatin1(sqlUtf8);
    CallWatch::Scope call = context().Enter(*client_);
    handle_->execute(status.get(), transaction.get(), static_cast<unsigned>(sql.size()), sql.c_str(),
                     static_cast<unsigned>(dialect_), nullptr, nullptr, nullptr, nullptr);
    status.Check(call.End());
}

}  // namespace vr::db
