#include "database/Client.h"

#include <firebird/Interface.h>

#include <algorithm>
#include <map>
#include <mutex>
#include <vector>

#include "common/Error.h"
#include "database/Latin1.h"
#include "platform/DynamicLibrary.h"

namespace vr::db {

namespace {

using GetMasterFn = Firebird::IMaster*(ISC_EXPORT*)();

std::string JoinLines(std::string_view text) {
    std::string out;
    out.reserve(text.size() + 16);
    for (const char c : text) {
        if (c == '\n') out += '\r';
        out += c;
    }
    return out;
}

// "60 s", "1.5 s": the bound as the log shows it.
std::string FormatSeconds(std::chrono::milliseconds bound) {
    const long long ms = bound.count();
    std::string text = std::to_string(ms / 1000);
    if (ms % 1000 != 0) {
        std::string fraction = std::to_string(1000 + ms % 1000).substr(1);
        while (fraction.back() == '0') fraction.pop_back();
        text += "," + fraction;
    }
    return text + " s";
}

}  // namespace

const Client& Client::Load(const std::vector<std::string>& names) {
    // Loaded libraries are never unloaded: interfaces handed out may outlive any owner here.
    static std::mutex mutex;
    static auto* loaded = new std::map<std::vector<std::string>, Client*>();
    const std::lock_guard lock(mutex);
    if (const auto found = loaded->find(names); found != loaded->end()) return *found->second;

    static const std::string kEntry = "fb_get_master_interface";
    DynamicLibrary library = DynamicLibrary::OpenFirst(names, kEntry);
    const auto entry = reinterpret_cast<GetMasterFn>(library.Symbol(kEntry));
    Firebird::IMaster* master = entry();
    if (master == nullptr) throw Error("A biblioteca cliente do Firebird não forneceu sua interface: " + library.path());
    auto* client = new Client(std::move(library), master, master->getUtilInterface());
    loaded->emplace(names, client);
    return *client;
}

Status::Status(const Client& client)
    : client_(client),
      status_(client.master()->getStatus()),
      wrapper_(std::make_unique<Firebird::CheckStatusWrapper>(status_)) {}

Status::~Status() { status_->dispose(); }

bool Status::Failed() const { return (wrapper_->getState() & Firebird::IStatus::STATE_ERRORS) != 0; }

DatabaseError Status::ToError(std::chrono::milliseconds abandonedAfter) const {
    std::vector<std::intptr_t> codes;
    const std::intptr_t* vector = wrapper_->getErrors();
    for (std::size_t i = 0; vector[i] != isc_arg_end;) {
        if (vector[i] == isc_arg_gds) codes.push_back(vector[i + 1]);
        i += vector[i] == isc_arg_cstring ? 3 : 2;
    }
    // A small buffer gives an empty or unterminated text: ask with room to spare, trust the length.
    std::string text;
    for (unsigned size = 8192; size <= 262144; size *= 4) {
        std::string buffer(size, '\0');
        const unsigned length = client_.util()->formatStatus(buffer.data(), size, wrapper_.get());
        if (length < size) {
            text.assign(buffer.data(), length);
            break;
        }
    }
    if (text.empty()) text = "Erro do banco de dados sem descrição";
    std::string message = Latin1ToUtf8(JoinLines(text));
    if (abandonedAfter > std::chrono::milliseconds::zero()) {
        message = "O banco de dados não respondeu em " + FormatSeconds(abandonedAfter) + "; a chamada foi abandonada.\r\n" + message;
        if (std::find(codes.begin(), codes.end(), isc_net_read_err) == codes.end()) codes.push_back(isc_net_read_err);
    }
    return DatabaseError(message, std::move(codes));
}

}  // namespace vr::db
