// Calls of PROC_DIRADOR per second: through IniciarTransacao / set values / FinalizarTransacao,
// each in its own committed transaction, and the same EXECUTE PROCEDURE and commit made
// directly through the client API on the same database. Rounds alternate so that both see
// the same server and the same table sizes.

#include <firebird/Interface.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <exception>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "common/Error.h"
#include "database/Client.h"
#include "database/Latin1.h"
#include "platform/DynamicLibrary.h"
#include "service/UVevoveRazara.h"
#include "tests/support/TestDatabase.h"

namespace {

using Clock = std::chrono::steady_clock;
namespace fs = std::filesystem;

class FixedClock final : public vr::Clock {
public:
    vr::LocalDateTime Now() const override { return {2026, 12, 9, 10, 0, 0}; }
};

// The values of one product call.
void SetProductValues(vr::db::TStoredProc& p, int i) {
    p.SetText("CODIGOPRODUTO", "789" + std::to_string(1000000 + i % 500));
    p.SetText("DIRADOR_NCM", "22021000");
    p.SetText("DIRADOR_CEST", "0300700");
    p.SetText("DIRADOR_LISTA", "P");
    p.SetText("DIRADOR_TIPO", "T");
    p.SetText("DIRADOR_CSTPISCOFINSENTRADA", "50");
    p.SetText("DIRADOR_CSTPISCOFINSSAIDA", "01");
    p.SetText("DIRADOR_NATUREZARECEITA", "");
    p.SetText("DIRADOR_CSTIPIENTRADA", "");
    p.SetText("DIRADOR_CSTIPISAIDA", "");
    p.SetDecimal("DIRADOR_ALIQUOTAIPI", 0);
    p.SetText("DIRADOR_ENQUADRAMENTOIPI", "999");
    p.SetText("DIRADOR_EXCECAOIPI", "");
    p.SetDecimal("DIRADOR_ALIQUOTAPDV", 180000);
    p.SetText("DIRADOR_TRIBUTACAOPDV", "T18");
    p.SetText("DIRADOR_CST_CSOSN", "060");
    p.SetDecimal("DIRADOR_ALIQUOTAICMS", 180000);
    p.SetDecimal("DIRADOR_ALIQUOTAREDUCAO", 0);
    p.SetDecimal("DIRADOR_ALIQUOTAREDUCAOST", 0);
    p.SetDecimal("DIRADOR_ALIQUOTAST", 180000);
    p.SetDecimal("DIRADOR_MVA", 453300);
    p.SetDecimal("DIRADOR_FCP", 20000);
    p.SetText("DIRADOR_CBNEF", "");
    p.SetDecimal("DIRADOR_PERCENTUALDIFERIMENTO", 0);
    p.SetText("DIRADOR_ANTECIPACAO", "N");
    p.SetInteger("DIRADOR_CFOPCOMPRA", 1403);
    p.SetInteger("DIRADOR_CFOPVENDA", 5405);
    p.SetDecimal("DIRADOR_DESONERACAO", 0);
    p.SetText("ATUALIZARSEGMENTO", "N");
}

// The same call made by hand: one prepared statement, its buffer filled for each call.
class BareCalls {
public:
    BareCalls(const vr::db::Client& client, const std::string& connectString) {
        master_ = client.master();
        status_ = master_->getStatus();
        Firebird::ThrowStatusWrapper st(status_);
        Firebird::IXpbBuilder* dpb = client.util()->getXpbBuilder(&st, Firebird::IXpbBuilder::DPB, nullptr, 0);
        dpb->insertString(&st, isc_dpb_user_name, "USUARIO");
        dpb->insertString(&st, isc_dpb_password, "wenduk");
        dpb->insertString(&st, isc_dpb_lc_ctype, "ISO8859_1");
        dpb->insertInt(&st, isc_dpb_sql_dialect, 3);
        Firebird::IProvider* provider = master_->getDispatcher();
        attachment_ = provider->attachDatabase(&st, connectString.c_str(), dpb->getBufferLength(&st), dpb->getBuffer(&st));
        provider->release();
        dpb->dispose();

        const std::vector<unsigned char> tpb = {isc_tpb_version3, isc_tpb_read_committed, isc_tpb_rec_version,
                                                isc_tpb_nowait, isc_tpb_write};
        tpb_ = tpb;
        Firebird::ITransaction* t = attachment_->startTransaction(&st, static_cast<unsigned>(tpb_.size()), tpb_.data());
        std::string sql = "EXECUTE PROCEDURE PROC_DIRADOR(?";
        for (int i = 1; i < 30; ++i) sql += ", ?";
        sql += ")";
        statement_ = attachment_->prepare(&st, t, 0, sql.c_str(), 3, Firebird::IStatement::PREPARE_PREFETCH_METADATA);
        t->commit(&st);
        metadata_ = statement_->getInputMetadata(&st);
        buffer_.assign(metadata_->getMessageLength(&st) + 8, 0);
    }

    ~BareCalls() {
        Firebird::ThrowStatusWrapper st(status_);
        metadata_->release();
        statement_->free(&st);
        attachment_->detach(&st);
        status_->dispose();
    }

    void Call(int i) {
        Firebird::ThrowStatusWrapper st(status_);
        Fill(st, i);
        Firebird::ITransaction* t = attachment_->startTransaction(&st, static_cast<unsigned>(tpb_.size()), tpb_.data());
        statement_->execute(&st, t, metadata_, buffer_.data(), nullptr, nullptr);
        t->commit(&st);
    }

private:
    void Text(Firebird::ThrowStatusWrapper& st, unsigned field, const std::string& value) {
        unsigned char* at = buffer_.data() + metadata_->getOffset(&st, field);
        short* null = reinterpret_cast<short*>(buffer_.data() + metadata_->getNullOffset(&st, field));
        if (value.empty()) {
            *null = -1;
            return;
        }
        *null = 0;
        if (metadata_->getType(&st, field) == SQL_TEXT) {
            const unsigned length = metadata_->getLength(&st, field);
            std::memset(at, ' ', length);
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
    void Fill(Firebird::ThrowStatusWrapper& st, int i) {
        Text(st, 0, "789" + std::to_string(1000000 + i % 500));
        Number<int>(st, 1, 0);
        Text(st, 2, "22021000");
        Text(st, 3, "0300700");
        Text(st, 4, "P");
        Text(st, 5, "T");
        Text(st, 6, "50");
        Text(st, 7, "01");
        Text(st, 8, "");
        Text(st, 9, "");
        Text(st, 10, "");
        Number<long long>(st, 11, 0);
        Text(st, 12, "999");
        Text(st, 13, "");
        Number<long long>(st, 14, 180000);
        Text(st, 15, "T18");
        Text(st, 16, "060");
        Number<long long>(st, 17, 180000);
        Number<long long>(st, 18, 0);
        Number<long long>(st, 19, 0);
        Number<long long>(st, 20, 180000);
        Number<long long>(st, 21, 453300);
        Number<long long>(st, 22, 20000);
        Text(st, 23, "");
        Number<long long>(st, 24, 0);
        Text(st, 25, "N");
        Number<int>(st, 26, 1403);
        Number<int>(st, 27, 5405);
        Number<long long>(st, 28, 0);
        Text(st, 29, "N");
    }

    Firebird::IMaster* master_ = nullptr;
    Firebird::IStatus* status_ = nullptr;
    Firebird::IAttachment* attachment_ = nullptr;
    Firebird::IStatement* statement_ = nullptr;
    Firebird::IMessageMetadata* metadata_ = nullptr;
    std::vector<unsigned char> tpb_;
    std::vector<unsigned char> buffer_;
};

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

        const vr::db::Client& client = vr::db::Client::Load(vr::FirebirdClientLibraryNames());
        BareCalls bare(client, std::string(vr::test::kServer) + "/3050:" + db.path());

        Clock::duration moduleTime{};
        Clock::duration bareTime{};
        int failures = 0;
        int call = 0;
        for (int round = 0; round < rounds; ++round) {
            auto start = Clock::now();
            for (int i = 0; i < callsPerRound; ++i) bare.Call(call++);
            bareTime += Clock::now() - start;

            start = Clock::now();
            for (int i = 0; i < callsPerRound; ++i) {
                module.IniciarTransacao(module.ProcDIrador);
                SetProductValues(module.ProcDIrador, call++);
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
    } catch (const Firebird::FbException& e) {
        char text[2048];
        vr::db::Client::Load(vr::FirebirdClientLibraryNames()).util()->formatStatus(text, sizeof text, e.getStatus());
        std::fprintf(stderr, "bench_procedure_calls: %s\n", text);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "bench_procedure_calls: %s\n", e.what());
    }
    return 1;
}
