#pragma once

// What the whole-cycle benchmarks share: the demo store's database on the local Firebird server,
// a generated updates feed with its consultation answers, and the stand-in that serves them.

#include <filesystem>
#include <string>
#include <vector>

#include "tax/TaxRecord.h"
#include "tests/standin/Standin.h"
#include "tests/support/TestDatabase.h"

namespace vr::bench {

inline constexpr const char* kConta = "4821";
inline constexpr const char* kCnpj = "12345678000195";
inline constexpr const char* kToken = "7f3a9c2e51b84d06a9e1c3f5b7d2e8a4";

// URL paths of the store's account, as the service builds them.
std::string FeedPath();
std::string ConsultationPath();

// The barcode and description of the i-th changed product.
std::string Ean(int i);
std::string Descricao(int i);

// The JSON texts the stand-in answers with.
std::string FeedAnswer(int products, int segments);
std::string ConsultationAnswer(int i);
// The tax record the service writes for the i-th entry of either list (its product's barcode
// or its segment's id is the caller's to add).
TRetornoBrisen Tributo(int i);

// The demo store's schema and configuration row in a scratch database; the last update is set
// a week before today, so that a cycle is due.
class Store {
public:
    Store();
    void MakeDue();
    void MakeCurrent();  // last update today: no cycle is due
    long long Count(const std::string& table);
    db::Attachment AttachAsService() const { return db_.AttachAsService(); }
    const std::string& path() const { return db_.path(); }

private:
    test::TestDatabase db_;
};

// A directory beside which the service finds Rivelto.ini pointing at the store; removed at the
// end.
class ServiceDir {
public:
    explicit ServiceDir(const Store& store);
    ~ServiceDir();
    ServiceDir(const ServiceDir&) = delete;
    ServiceDir& operator=(const ServiceDir&) = delete;
    const std::filesystem::path& path() const { return path_; }
    // A copy of the executable (the service reads its INI file beside its real file).
    std::filesystem::path CopyExecutable(const std::filesystem::path& executable) const;

private:
    std::filesystem::path path_;
};

// The stand-in with the feed on its path and the consultations, in order, on theirs. Serve()
// again starts the consultation answers from the first one.
class Service {
public:
    Service(int products, int segments);
    void Serve();
    vr::standin::Server& server() { return server_; }
    std::size_t FeedSize() const { return feed_.size(); }

private:
    vr::standin::Server server_;
    std::string feed_;
    std::vector<vr::standin::Response> consultations_;
};

// Points the service's client at the stand-in (environment of this process and its children).
void UseStandin(const vr::standin::Server& server);

}  // namespace vr::bench
