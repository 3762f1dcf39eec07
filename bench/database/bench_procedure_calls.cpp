// Calls of PROC_DIRADOR per second: through IniciarTransacao / BindTributo / FinalizarTransacao,
// each in its own committed transaction, and the same EXECUTE PROCEDURE and commit made
// directly through the client API on the same database. Rounds alternate so that both see
// the same server and the same table sizes.

#include <chrono>
#include <cstdio>
#include <exception>
#include <filesystem>
#include <fstream>
#include <string>

#include "bench/support/BareDirador.h"
#include "common/Error.h"
#include "service/UVevoveRazara.h"
#include "tests/support/TestDatabase.h"

namespace {

using Clock = std::chrono::steady_clock;
namespace fs = std::filesystem;

class FixedClock final : public vr::Clock {
public:
    vr::LocalDateTime Now() const override { return {2026, 12, 9, 10, 0, 0}; }
};

// The tax record of the i-th call: five hundred products written over and over.
vr::TRetornoBrisen ProductRecord(int i) {
    vr::TRetornoBrisen r;
    r.CodigoProduto = "789" + std::to_string(1000000 + i % 500);
    r.NCM = "22021000";
    r.Cest = "0300700";
    r.Lista = "P";
    r.Tipo = "T";
    r.CSTPISEntrada = "50";
    r.CSTPISSaida = "01";
    r.EnqIPI = "999";
    r.AliqPDV = 180000;
    r.TributacaoPDV = "T";
    r.CST_CSOSN = "060";
    r.AliqICMS = 180000;
    r.AliqST = 180000;
    r.AliqMVA = 453300;
    r.AliqFCP = 20000;
    r.Antecipacao = "N";
    r.CFOPCompra = "1403";
    r.CFOPVenda = "5405";
    return r;
}

}  // namespace

int main(int argc, char** argv) {
    const int callsPerRound = argc > 1 ? std::atoi(argv[1]) : 500;
    const int rounds = argc > 2 ? std::atoi(argv[2]) : 6;
    try {
        vr::test::TestDatabase db;
        const fs::path directory = fs::temp_directory_path() / "vr-bench-database";
        fs::create_directories(directory);
        std::ofstream(directory / "Rivelto.ini", std::ios::binary)
            << "[Rivelto]\r\nServidor=" << vr::test::kServer << "\r\nCaminho=" << db.path() << "\r\n";

        FixedClock clock;
        vr::TSrvVevoveRazara module(vr::TModuleSetup{directory, vr::RegionalSettings{}, &clock});
        module.CarregarParametrosConexao();
        module.Connvelmora.Open();

        vr::bench::BareDirador bare(db.AttachAsService());

        Clock::duration moduleTime{};
        Clock::duration bareTime{};
        int failures = 0;
        int call = 0;
        for (int round = 0; round < rounds; ++round) {
            auto start = Clock::now();
            for (int i = 0; i < callsPerRound; ++i) bare.Call(ProductRecord(call++), vr::TCaminhoTributo::ctProduto);
            bareTime += Clock::now() - start;

            start = Clock::now();
            for (int i = 0; i < callsPerRound; ++i) {
                module.IniciarTransacao(module.ProcDIrador);
                module.BindTributo(ProductRecord(call++), vr::TCaminhoTributo::ctProduto);
                if (!module.FinalizarTransacao(module.ProcDIrador, true, true)) ++failures;
            }
            moduleTime += Clock::now() - start;
        }
        module.Connvelmora.Close();
        fs::remove_all(directory);

        const double total = static_cast<double>(callsPerRound) * rounds;
        const double moduleRate = total / std::chrono::duration<double>(moduleTime).count();
        const double bareRate = total / std::chrono::duration<double>(bareTime).count();
        std::printf("PROC_DIRADOR calls, %d per round, %d rounds, each in its own committed transaction\n",
                    callsPerRound, rounds);
        std::printf("  service protocol (IniciarTransacao/FinalizarTransacao): %10.1f calls/s\n", moduleRate);
        std::printf("  bare client API (execute + commit):                     %10.1f calls/s\n", bareRate);
        std::printf("  ratio service/bare: %.3f (goal: at least 0.9)\n", moduleRate / bareRate);
        if (failures != 0) {
            std::printf("  %d calls failed (see VevoveRazara.log)\n", failures);
            return 1;
        }
        return 0;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "bench_procedure_calls: %s\n", e.what());
    }
    return 1;
}
