// One whole update cycle applying a feed of 2,000 changed products and 2,000 segment rules,
// through the service module against the local stand-in and Firebird, next to the floor: the
// same 2,000 HTTPS consultations (libcurl, a fresh connection each, same answers) and the same
// 4,000 procedure calls, each in its own committed transaction, made by a bare loop. The bare
// loop knows the barcodes and segments beforehand, so it parses nothing; everything else (the
// feed request, answer bodies received whole, attaching, preparing) it does like the service.
// Rounds alternate so that outside load weighs on both alike. Prints figures; never fails on a
// time.

#include <curl/curl.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <string>

#include "bench/cycle/CycleBench.h"
#include "bench/support/BareDirador.h"
#include "common/Error.h"
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
                bench::BareDirador procedure(store.AttachAsService());
                if (Get(origin + bench::FeedPath() + "?date=01-12-2026").size() < 10) ++problems;
                for (int i = 0; i < products; ++i) {
                    const std::string answer = Get(origin + bench::ConsultationPath() + "?ean=" + bench::Ean(i) +
                                                   "&descricao=" + PercentEncoded(bench::Descricao(i)));
                    if (answer.size() < 10) ++problems;
                    vr::TRetornoBrisen record = bench::Tributo(i);
                    record.CodigoProduto = bench::Ean(i);
                    procedure.Call(record, vr::TCaminhoTributo::ctProduto);
                }
                for (int i = 0; i < segments; ++i) {
                    vr::TRetornoBrisen record = bench::Tributo(i);
                    record.IdSegmento = i + 1;
                    procedure.Call(record, vr::TCaminhoTributo::ctSegmento);
                }
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
