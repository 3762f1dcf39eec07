// One whole update cycle applying a feed of 2,000 changed products and 2,000 segment rules,
// through the service module against the local stand-in and Firebird, next to the floor: the
// same 2,000 HTTPS consultations (libcurl, a fresh connection each, same answers) and the same
// 4,000 procedure calls, each in its own committed transaction, made by a bare loop. The bare
// loop knows the barcodes and segments beforehand, so it parses nothing; everything else (the
// feed request, answer bodies received whole, attaching, preparing) it does like the service.
// Rounds alternate so that outside load weighs on both alike. Prints figures; never fails on a
// time.

#include <curl/curl.h>
#include <firebird/Interface.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <string>
#include <vector>

#include "bench/cycle/CycleBench.h"
#include "common/Error.h"
#include "database/Client.h"
#include "platform/DynamicLibrary.h"
#include "platform/SystemClock.h"
#include "service/UVevoveRazara.h"

namespace {

using Clock = std::chrono::steady_clock;
namespace bench = vr::bench;

size_t Collect(char* data, size_t size, size_t count, void* user) {
    static_cast<std::string*>(user)->append(data, size * count);
    return size * count;
}

// One GET on a handle of its own, so on a connection of its own, as the service makes it.
std::string Get(const std::string& url) {
    CURL* handle = curl_easy_init();
    if (handle == nullptr) throw vr::Error("curl_easy_init");
    std::string body;
    curl_slist* headers = curl_slist_append(nullptr, "Accept: application/json");
    curl_easy_setopt(handle, CURLOPT_URL, url.c_str());
    curl_easy_setopt(handle, CURLOPT_HTTPHEADER, headers);
    curl_easy_setopt(handle, CURLOPT_HTTP_VERSION, static_cast<long>(CURL_HTTP_VERSION_1_1));
    curl_easy_setopt(handle, CURLOPT_CAINFO, std::getenv("SSL_CERT_FILE"));
    curl_easy_setopt(handle, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(handle, CURLOPT_WRITEFUNCTION, &Collect);
    curl_easy_setopt(handle, CURLOPT_WRITEDATA, &body);
    const CURLcode result = curl_easy_perform(handle);
    long status = 0;
    curl_easy_getinfo(handle, CURLINFO_RESPONSE_CODE, &status);
    curl_easy_cleanup(handle);
    curl_slist_free_all(headers);
    if (result != CURLE_OK || status != 200) throw vr::Error("GET " + url + " failed");
    return body;
}

std::string PercentEncoded(const std::string& text) {
    static const char* hex = "0123456789ABCDEF";
    std::string out;
    for (const unsigned char c : text) {
        if (c > 0x20 && c < 0x7F && c != '"' && c != '\'' && c != '<' && c != '>') {
            out += static_cast<char>(c);
        } else {
            out += '%';
            out += hex[c >> 4];
            out += hex[c & 15];
        }
    }
    return out;
}

// PROC_DIRADOR by hand: one prepared EXECUTE PROCEDURE, its message filled for each call.
class BareProcedure {
public:
    explicit BareProcedure(const std::string& connectString)
        : client_(vr::db::Client::Load(vr::FirebirdClientLibraryNames())),
          status_(client_.master()->getStatus()) {
        Firebird::ThrowStatusWrapper st(status_);
        Firebird::IXpbBuilder* dpb = client_.util()->getXpbBuilder(&st, Firebird::IXpbBuilder::DPB, nullptr, 0);
        dpb->insertString(&st, isc_dpb_user_name, "USUARIO");
        dpb->insertString(&st, isc_dpb_password, "wenduk");
        dpb->insertString(&st, isc_dpb_lc_ctype, "ISO8859_1");
        dpb->insertInt(&st, isc_dpb_sql_dialect, 3);
        Firebird::IProvider* provider = client_.master()->getDispatcher();
        attachment_ = provider->attachDatabase(&st, connectString.c_str(), dpb->getBufferLength(&st), dpb->getBuffer(&st));
        provider->release();
        dpb->dispose();
        Firebird::ITransaction* t = Start(st);
        std::string sql = "EXECUTE PROCEDURE PROC_DIRADOR(?";
        for (int i = 1; i < 30; ++i) sql += ", ?";
        sql += ")";
        statement_ = attachment_->prepare(&st, t, 0, sql.c_str(), 3, Firebird::IStatement::PREPARE_PREFETCH_METADATA);
        t->commit(&st);
        metadata_ = statement_->getInputMetadata(&st);
        buffer_.assign(metadata_->getMessageLength(&st) + 8, 0);
    }

    ~BareProcedure() {
        Firebird::CheckStatusWrapper st(status_);
        if (metadata_ != nullptr) metadata_->release();
        if (statement_ != nullptr) statement_->free(&st);
        if (attachment_ != nullptr) attachment_->detach(&st);
        status_->dispose();
    }
    BareProcedure(const BareProcedure&) = delete;
    BareProcedure& operator=(const BareProcedure&) = delete;

    void Product(const std::string& ean, int i) { Call(ean, 0, i, "N"); }
    void Segment(int id, int i) { Call("", id, i, "Y"); }

private:
    Firebird::ITransaction* Start(Firebird::ThrowStatusWrapper& st) {
        static const unsigned char tpb[] = {isc_tpb_version3, isc_tpb_read_committed, isc_tpb_rec_version,
                                            isc_tpb_nowait, isc_tpb_write};
        return attachment_->startTransaction(&st, sizeof tpb, tpb);
    }

    // The values the service sends for the i-th entry of the generated feed.
    void Call(const std::string& ean, int segment, int i, const char* atualizarSegmento) {
        Firebird::ThrowStatusWrapper st(status_);
        const int kind = i % 3;
        Text(st, 0, ean);
        Number<int>(st, 1, segment);
        Text(st, 2, kind == 0 ? "22030000" : kind == 1 ? "19059090" : "17019900");
        Text(st, 3, kind == 0 ? "0302100" : "");
        Text(st, 4, kind == 0 ? "P" : "U");
        Text(st, 5, "");
        Text(st, 6, kind == 0 ? "70" : kind == 1 ? "50" : "73");
        Text(st, 7, kind == 0 ? "04" : kind == 1 ? "01" : "06");
        Text(st, 8, kind == 0 ? "101" : kind == 1 ? "" : "105");
        Text(st, 9, "");
        Text(st, 10, "");
        Number<long long>(st, 11, 0);
        Text(st, 12, "");
        Text(st, 13, "");
        Number<long long>(st, 14, kind == 0 ? 0 : 180000);
        Text(st, 15, kind == 0 ? "F" : "T");
        Text(st, 16, kind == 0 ? "60" : kind == 1 ? "102" : "20");
        Number<long long>(st, 17, kind == 0 ? 0 : 180000);
        Number<long long>(st, 18, kind == 2 ? 611100 : 0);
        Number<long long>(st, 19, 0);
        Number<long long>(st, 20, 0);
        Number<long long>(st, 21, kind == 0 ? 382400 : 0);
        Number<long long>(st, 22, kind == 2 ? 20000 : 0);
        Text(st, 23, kind == 2 ? "SP020001" : "");
        Number<long long>(st, 24, 0);
        Text(st, 25, "");
        Number<int>(st, 26, kind == 0 ? 1403 : 1102);
        Number<int>(st, 27, kind == 0 ? 5405 : 5102);
        Number<long long>(st, 28, 0);
        Text(st, 29, atualizarSegmento);
        Firebird::ITransaction* t = Start(st);
        statement_->execute(&st, t, metadata_, buffer_.data(), nullptr, nullptr);
        t->commit(&st);
    }

    void Text(Firebird::ThrowStatusWrapper& st, unsigned field, const std::string& value) {
        unsigned char* at = buffer_.data() + metadata_->getOffset(&st, field);
        short* null = reinterpret_cast<short*>(buffer_.data() + metadata_->getNullOffset(&st, field));
        *null = value.empty() ? -1 : 0;
        if (value.empty()) return;
        if (metadata_->getType(&st, field) == SQL_TEXT) {
            std::memset(at, ' ', metadata_->getLength(&st, field));
            std::memcpy(at, value.data(), value.size());
        } else {
            const auto n = static_cast<unsigned short>(value.size());
            std::memcpy(at, &n, sizeof n);
            std::memcpy(at + 2, value.data(), value.size());
        }
    }
    template <typename T>
    void Number(Firebird::ThrowStatusWrapper& st, unsigned field, T value) {
        *reinterpret_cast<short*>(buffer_.data() + metadata_->getNullOffset(&st, field)) = 0;
        std::memcpy(buffer_.data() + metadata_->getOffset(&st, field), &value, sizeof value);
    }

    const vr::db::Client& client_;
    Firebird::IStatus* status_;
    Firebird::IAttachment* attachment_ = nullptr;
    Firebird::IStatement* statement_ = nullptr;
    Firebird::IMessageMetadata* metadata_ = nullptr;
    std::vector<unsigned char> buffer_;
};

double Seconds(Clock::duration d) { return std::chrono::duration<double>(d).count(); }

}  // namespace

int main(int argc, char** argv) {
    const int products = argc > 1 ? std::max(1, std::atoi(argv[1])) : 2000;
    const int segments = argc > 2 ? std::max(1, std::atoi(argv[2])) : 2000;
    const int rounds = argc > 3 ? std::max(1, std::atoi(argv[3])) : 2;
    try {
        bench::Store store;
        bench::Service service(products, segments);
        bench::UseStandin(service.server());
        bench::ServiceDir dir(store);
        vr::SystemClock clock;
        const std::string origin = service.server().Origin();
        vr::TModuleSetup setup{dir.path(), vr::RegionalSettings{}, &clock};
        setup.baseAddress = origin;
        setup.httpsTrust.caFile = service.server().CaFile().string();
        vr::TSrvVevoveRazara module(setup);
        const std::string connectString = std::string(vr::test::kServer) + "/3050:" + store.path();
        curl_global_init(CURL_GLOBAL_DEFAULT);

        Clock::duration moduleTime{};
        Clock::duration bareTime{};
        int problems = 0;
        const auto runModule = [&] {
            store.MakeDue();
            service.Serve();
            service.server().TakeRequests();
            const Clock::time_point start = Clock::now();
            module.TimerTimer();
            moduleTime += Clock::now() - start;
            if (module.ResultadoCiclo != vr::rcConcluida) {
                std::printf("the cycle did not complete (see %s)\n", (dir.path() / "VevoveRazara.log").c_str());
                ++problems;
            }
            const std::size_t requests = service.server().TakeRequests().size();
            if (requests != static_cast<std::size_t>(products) + 1) {
                std::printf("the cycle made %zu requests, not %d\n", requests, products + 1);
                ++problems;
            }
        };
        const auto runBare = [&] {
            service.Serve();
            const Clock::time_point start = Clock::now();
            {
                BareProcedure procedure(connectString);
                if (Get(origin + bench::FeedPath() + "?date=01-12-2026").size() < 10) ++problems;
                for (int i = 0; i < products; ++i) {
                    const std::string answer = Get(origin + bench::ConsultationPath() + "?ean=" + bench::Ean(i) +
                                                   "&descricao=" + PercentEncoded(bench::Descricao(i)));
                    if (answer.size() < 10) ++problems;
                    procedure.Product(bench::Ean(i), i);
                }
                for (int i = 0; i < segments; ++i) procedure.Segment(i + 1, i);
            }
            bareTime += Clock::now() - start;
        };
        for (int round = 0; round < rounds; ++round) {
            if (round % 2 == 0) {
                runBare();
                runModule();
            } else {
                runModule();
                runBare();
            }
        }
        const long long productRows = store.Count("PRODUTOS_TRIBUTOS");
        const long long segmentRows = store.Count("SEGMENTOS_TRIBUTOS");
        curl_global_cleanup();

        std::printf("Update cycle: feed of %d changed products and %d segment rules, %d rounds (alternating)\n",
                    products, segments, rounds);
        std::printf("  service cycle (TimerTimer):                 %8.3f s per cycle\n", Seconds(moduleTime) / rounds);
        std::printf("  floor (libcurl + Firebird API, bare loop):  %8.3f s per cycle\n", Seconds(bareTime) / rounds);
        std::printf("  ratio service/floor: %.3f (goal: at most 1.15)\n", Seconds(moduleTime) / Seconds(bareTime));
        std::printf("  rows: %lld products, %lld segments\n", productRows, segmentRows);
        if (productRows != products || segmentRows != segments) ++problems;
        return problems == 0 ? 0 : 1;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "bench_cycle: %s\n", e.what());
    }
    return 1;
}
