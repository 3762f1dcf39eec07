#include "database/TConnection.h"

#include <algorithm>
#include <charconv>
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

void TConnection::Open() {
    if (IsOpen()) return;
    const AttachParams params = ParamsForAttach();
    client_ = &Client::Load(libraryNames_);
    attachment_.emplace(Attachment::Attach(*client_, params));
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
    ReleaseDeferred();
    if (first) std::rethrow_exception(first);
}

void TConnection::DropEverything(const DatabaseError& cause) noexcept {
    // Detaching first settles everything on the dead attachment in one exchange; each rollback
    // or free sent before it would be one more request the half-gone server may never answer.
    attachment_.reset();
    for (TConnectionUser* user : users_) user->ConnectionLost(cause);
    for (TConnectionUser* transaction : transactions_) transaction->ConnectionLost(cause);
    ReleaseDeferred();
}

void TConnection::Recover(const DatabaseError& cause) {
    DropEverything(cause);
    std::exception_ptr last;
    for (int attempt = 0; attempt < kReconnectAttempts; ++attempt) {
        if (attempt > 0) pause_(kReconnectPause);
        try {
            attachment_.emplace(Attachment::Attach(client(), ParamsForAttach()));
            return;
        } catch (const Error&) {
            last = std::current_exception();
        }
    }
    std::rethrow_exception(last);
}

}  // namespace vr::db
