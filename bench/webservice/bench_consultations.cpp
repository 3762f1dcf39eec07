// 1,000 barcode consultations in a row against the local stand-in, each on a fresh TLS
// connection, next to the same requests made by the curl command-line tool. Prints figures; it
// never fails on a time.

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <iostream>
#include <random>
#include <string>

#include <sys/resource.h>

#include "tests/standin/Standin.h"
#include "webservice/ConsultaEAN.h"
#include "webservice/PlatformHttpClient.h"

namespace {

using Clock = std::chrono::steady_clock;

const std::string kPath = "/v2.0/consulta-ean/ID-1/12345678000195/TOKEN";

const std::string kAnswer =
    R"({"mensagem":"sucesso","tributos":[{"ean_cliente":"7891000100103","ncm":"2101.11.10",)"
    R"("cest":"17.099.00","idlista":2,"piscofins_cst_entrada":"70","piscofins_cst_saida":"04",)"
    R"("piscofins_naturezarec":"101","ipi":0,"icms_saida_csosn":"0102","icms_saida_cst":"",)"
    R"("icms_saida":18,"base_reduzida":0,"mva":38.24,"icms_fcp":0,"cod_beneficio":"",)"
    R"("cfop_venda":"5102","desoneracao_icms":0}]})";

double ChildrenCpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_CHILDREN, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

struct Figures {
    double wallSeconds = 0;
    double cpuSeconds = 0;
};

void Print(const char* name, const Figures& f, int count) {
    std::printf("%-28s %10.3f s %10.3f ms %10.3f ms\n", name, f.wallSeconds,
                1000.0 * f.wallSeconds / count, 1000.0 * f.cpuSeconds / count);
}

}  // namespace

int main(int argc, char** argv) {
    const int count = argc > 1 ? std::max(1, std::atoi(argv[1])) : 1000;
    vr::standin::Server server({VR_STANDIN_PROGRAM, VR_STANDIN_PYTHON, VR_STANDIN_CERT_DIR});
    setenv("no_proxy", "127.0.0.1,localhost", 1);
    vr::standin::Response answer;
    answer.headers = {{"Content-Type", "application/json; charset=utf-8"}};
    answer.body = kAnswer;
    server.Route(kPath, answer);

    std::random_device random;
    const std::filesystem::path dumpDir =
        std::filesystem::temp_directory_path() / ("bench-consultas-" + std::to_string(random()));
    std::filesystem::create_directories(dumpDir);

    vr::PlatformHttpClient client(vr::THttpsTrust{server.CaFile().string(), ""});
    vr::RegionalSettings settings;
    const vr::TContextoConsulta contexto{client, settings, dumpDir, {}, server.Origin()};

    // Ours: the whole consultation, dump and tax-entry conversion included.
    int failures = 0;
    const Clock::time_point ourStart = Clock::now();
    const std::clock_t ourCpuStart = std::clock();
    for (int i = 0; i < count; ++i) {
        const vr::TRetornoBrisen record =
            vr::ConsultaEAN("12345678000195", "SP", "ID-1", "TOKEN", "7891000100103", "CAFÉ EM PÓ 500G", contexto);
        if (record.StatusCode != 200 || record.CFOPVenda != "5102") ++failures;
    }
    Figures ours;
    ours.cpuSeconds = static_cast<double>(std::clock() - ourCpuStart) / CLOCKS_PER_SEC;
    ours.wallSeconds = std::chrono::duration<double>(Clock::now() - ourStart).count();

    // The same requests by the command-line tool, one process (so one connection) each.
    const std::string url = server.Origin() + kPath +
                            "?ean=7891000100103&descricao=CAF%C3%89%20EM%20P%C3%93%20500G";
    const std::string command =
        "i=0; while [ $i -lt " + std::to_string(count) + " ]; do " VR_CURL_TOOL
        " -s -f -o /dev/null --http1.1 --cacert '" + server.CaFile().string() + "'"
        " -H 'Accept: application/json, text/plain; q=0.9, text/html;q=0.8,'"
        " -H 'Accept-Charset: utf-8, *;q=0.8' -A 'VevoveRazara/1.0' '" + url +
        "' || exit 1; i=$((i+1)); done";
    const double childCpuStart = ChildrenCpuSeconds();
    const Clock::time_point toolStart = Clock::now();
    const int toolStatus = std::system(command.c_str());
    Figures tool;
    tool.wallSeconds = std::chrono::duration<double>(Clock::now() - toolStart).count();
    tool.cpuSeconds = ChildrenCpuSeconds() - childCpuStart;

    std::error_code ignored;
    std::filesystem::remove_all(dumpDir, ignored);

    std::printf("%d consultations in a row, each on a fresh TLS connection to the local stand-in\n",
                count);
    std::printf("%-28s %12s %13s %13s\n", "", "wall total", "wall each", "CPU each");
    Print("ConsultaEAN (this process)", ours, count);
    Print("curl tool (process each)", tool, count);
    std::printf("ratio ours / curl: wall %.2f, CPU %.2f\n", ours.wallSeconds / tool.wallSeconds,
                ours.cpuSeconds / tool.cpuSeconds);
    if (failures > 0) std::printf("consultations without the expected record: %d\n", failures);
    if (toolStatus != 0) std::printf("the curl loop failed (status %d)\n", toolStatus);
    return 0;
}
