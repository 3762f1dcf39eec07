#include "database/TConnection.h"

#include <algorithm>
#include <atomic>
#include <charconv>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "common/Error.h"
#include "common/Text.h"
#include "database/Client.h"
#include "platform/DynamicLibrary.h"

namespace vr::db {
namespace {

std::optional<std::string> Param(const std::vector<std::string>& params, std::string_view name) {
    for (const std::string& entry : params) {
        const std::size_t equals = entry.find('=');
        if (equals != std::string::npos && text::EqualsIgnoreAsciiCase(std::string_view(entry).substr(0, equals), name)) {
            return entry.substr(equals + 1);
        }
    }
    return std::nullopt;
}

}  // namespace

TConnection::TConnection()
    : libraryNames_(FirebirdClientLibraryNames()),
      pause_([](std::chrono::milliseconds pause) { std::this_thread::sleep_for(pause); }) {}

TConnection::~TConnection() {
    try {
        Close();
    } catch (...) {
        // A destructor reports nothing; Close has already given up every handle.
    }
}

AttachParams TConnection::ParamsForAttach() const {
    const std::string server = Param(params_, "Server").value_or("");
    const std::string port = Param(params_, "Port").value_or("3050");
    const std::string database = Param(params_, "Database").value_or("");
    // Without a host the client would open the file inside this process instead of asking the server.
    if (server.empty()) throw Error("Servidor do banco de dados não informado");
    if (database.empty()) throw Error("Caminho do banco de dados não informado");
    AttachParams p;
    p.connectString = server + "/" + port + ":" + database;
    p.user = Param(params_, "User_Name").value_or("");
    p.password = Param(params_, "Password").value_or("");
    p.charSet = Param(params_, "CharacterSet").value_or("ISO8859_1");
    const std::string dialect = Param(params_, "SQLDialect").value_or("3");
    int value = 3;
    const auto result = std::from_chars(dialect.data(), dialect.data() + dialect.size(), value);
    if (result.ec != std::errc() || result.ptr != dialect.data() + dialect.size()) {
        throw Error("Dialeto SQL inválido: " + dialect);
    }
    p.dialect = value;
    return p;
}

void TConnection::SetBounds(std::chrono::milliseconds connect, std::chrono::milliseconds call) {
    if (IsOpen()) throw Error("Os limites de espera não mudam com a conexão aberta");
    connectBound_ = connect;
    watch_ = call > std::chrono::milliseconds::zero() ? std::make_unique<CallWatch>(call) : nullptr;
}

void TConnection::Open() {
    if (IsOpen()) return;
    const AttachParams params = ParamsForAttach();
    client_ = &Client::Load(libraryNames_);
    attachment_.emplace(AttachWithinBound(params));
}

struct TConnection::PendingAttach {
    std::mutex mutex;
    std::condition_variable done;
    bool finished = false;
    bool abandoned = false;
    std::optional<Attachment> attachment;
    std::exception_ptr error;
};

namespace {

// Attach threads given up at their bound that have not returned yet, in the whole process.
std::atomic<std::size_t> attachesStillRunning{0};

Error ConnectNotCompleted(std::chrono::milliseconds bound) {
    const long long seconds = (bound.count() + 999) / 1000;
    return Error("O servidor do banco de dados não completou a conexão em " + std::to_string(seconds) + " s");
}

}  // namespace

std::size_t TConnection::AttachesStillRunning() { return attachesStillRunning.load(); }

// The connect bound. isc_dpb_connect_timeout bounds only the wait for the server's first answer:
// neither a TCP connect whose SYNs are dropped (the kernel's retries, over two minutes) nor a
// server that goes silent after its first answers. An attach cannot be cancelled (there is no
// attachment to cancel until it returns), so it runs on a thread of its own and this thread
// waits for it up to the bound; past it the attach is given up, and whatever it returns later
// is detached by that thread. A few such attaches may be left behind at a time (a silent peer
// holds one until TCP gives up on it); beyond that a new connect fails at once instead of
// leaving yet another thread behind.
Attachment TConnection::AttachWithinBound(const AttachParams& params) {
    if (connectBound_ <= std::chrono::milliseconds::zero()) {
        return Attachment::Attach(*client_, params, watch_.get(), &deferred_);
    }
    std::erase_if(abandonedAttaches_, [](const std::shared_ptr<PendingAttach>& pending) {
        const std::lock_guard lock(pending->mutex);
        return pending->finished;
    });
    if (abandonedAttaches_.size() >= kAbandonedAttachesMax) {
        throw Error("As conexões anteriores com o banco de dados, abandonadas sem resposta, ainda não terminaram");
    }

    AttachParams bounded = params;
    // The client's own wait for a silent server ends a little before ours, so that its attach
    // returns by itself and leaves no thread behind; what it then reports ("connection
    // rejected") is no rejection but our bound, and is told as such.
    bounded.firstAnswerTimeout = std::max(std::chrono::seconds(1), std::chrono::duration_cast<std::chrono::seconds>(
                                                                        connectBound_ - std::chrono::seconds(1)));
    auto pending = std::make_shared<PendingAttach>();
    const Client* client = client_;
    const auto started = std::chrono::steady_clock::now();
    std::thread([pending, client, bounded] {
        std::optional<Attachment> attachment;
        std::exception_ptr error;
        try {
            attachment.emplace(Attachment::Attach(*client, bounded));
        } catch (...) {
            error = std::current_exception();
        }
        std::unique_lock lock(pending->mutex);
        if (pending->abandoned) {
            lock.unlock();
            attachment.reset();  // detaches: nobody waits for it any more
            lock.lock();
            --attachesStillRunning;
        } else {
            pending->attachment = std::move(attachment);
            pending->error = error;
        }
        pending->finished = true;
        pending->done.notify_all();
    }).detach();

    std::unique_lock lock(pending->mutex);
    if (!pending->done.wait_for(lock, connectBound_, [&] { return pending->finished; })) {
        pending->abandoned = true;
        ++attachesStillRunning;
        abandonedAttaches_.push_back(pending);
        throw ConnectNotCompleted(connectBound_);
    }
    if (pending->error) {
        try {
            std::rethrow_exception(pending->error);
        } catch (const DatabaseError& error) {
            // A server that refuses the connection does so at once, not after the client's timeout.
            if (error.ConnectRejected() && std::chrono::steady_clock::now() - started >= bounded.firstAnswerTimeout) {
                throw ConnectNotCompleted(connectBound_);
            }
            throw;
        }
    }
    Attachment attachment = std::move(*pending->attachment);
    attachment.SetContext(watch_.get(), &deferred_);
    return attachment;
}

Attachment& TConnection::attachment() {
    if (!attachment_) throw Error("A conexão com o banco de dados não está aberta");
    return *attachment_;
}

const Client& TConnection::client() const {
    if (client_ == nullptr) throw Error("A conexão com o banco de dados não está aberta");
    return *client_;
}

void TConnection::Unregister(TConnectionUser& user) noexcept {
    std::erase(users_, &user);
    std::erase(transactions_, &user);
}

void TConnection::Close() {
    if (!attachment_) return;
    std::exception_ptr first;
    const auto attempt = [&](auto&& step) {
        try {
            step();
        } catch (...) {
            if (!first) first = std::current_exception();
        }
    };
    for (TConnectionUser* user : users_) attempt([&] { user->Disconnecting(); });
    for (TConnectionUser* transaction : transactions_) attempt([&] { transaction->Disconnecting(); });
    attempt([&] { attachment_->Detach(); });
    attachment_.reset();
    deferred_.ReleaseAll();
    if (first) std::rethrow_exception(first);
}

void TConnection::DropEverything(const DatabaseError& cause) noexcept {
    // Detaching first settles everything on the dead attachment in one exchange; each rollback
    // or free sent before it would be one more request the half-gone server may never answer.
    attachment_.reset();
    for (TConnectionUser* user : users_) user->ConnectionLost(cause);
    for (TConnectionUser* transaction : transactions_) transaction->ConnectionLost(cause);
    deferred_.ReleaseAll();
}

void TConnection::Recover(const DatabaseError& cause) {
    ++recoveries_;
    DropEverything(cause);
    // Stopping: another attempt could only wait out more bounds for a cycle that ends anyway.
    if (stopPending_ && stopPending_()) {
        throw DatabaseError(std::string(cause.what()) +
                                "\r\nA conexão não foi restabelecida: o serviço está sendo encerrado.",
                            cause.codes());
    }
    std::exception_ptr last;
    for (int attempt = 0; attempt < kReconnectAttempts; ++attempt) {
        if (attempt > 0) pause_(kReconnectPause);
        try {
            attachment_.emplace(AttachWithinBound(ParamsForAttach()));
            return;
        } catch (const Error&) {
            last = std::current_exception();
        }
    }
    std::rethrow_exception(last);
}

}  // namespace vr::db
