// The update cycle: one run per tick of Timer, always on the main thread.

#include <exception>
#include <string>
#include <string_view>

#include "common/Date.h"
#include "service/Intervals.h"
#include "service/UVevoveRazara.h"

namespace vr {
namespace {

// A date as fleet tools read it: ISO 8601, the time only when there is one.
std::string DataIso(const LocalDateTime& moment) {
    if (moment.hour == 0 && moment.minute == 0 && moment.second == 0) return IsoDateText(DateOf(moment));
    return IsoDateTimeText(moment);
}

std::string PrimeiraLinha(std::string_view text) {
    return std::string(text.substr(0, text.find_first_of("\r\n")));
}

std::string MensagemDe(std::exception_ptr erro) {
    try {
        std::rethrow_exception(erro);
    } catch (const std::exception& e) {
        return e.what();
    } catch (...) {
        return "erro desconhecido";
    }
}

}  // namespace

void TSrvVevoveRazara::TimerTimer() {
    Timer.SetEnabled(false);
    Timer.SetInterval(IntervaloFalha);
    ResultadoCiclo = rcNaoConcluida;
    RelatorioCiclo = {};
    ultimaEntradaDoCiclo_.clear();
    if (AoProgredir) AoProgredir();
    try {
        ExecutaCiclo();
    } catch (...) {
        // The end steps run before the error reaches ManipulaExcecoes.
        const std::exception_ptr erro = std::current_exception();
        EncerraCiclo(erro);
        const std::string mensagem = MensagemDe(erro);
        ConcluiRelatorio(mensagem.c_str());
        throw;
    }
    try {
        EncerraCiclo(nullptr);
    } catch (...) {
        const std::string mensagem = MensagemDe(std::current_exception());
        ConcluiRelatorio(mensagem.c_str());
        throw;
    }
    ConcluiRelatorio(nullptr);
}

// A failed cycle's reason is the error that ended it or, when it ended quietly after logging
// (no connection, the feed refused), its last log entry.
void TSrvVevoveRazara::ConcluiRelatorio(const char* erro) {
    TRelatorioCiclo& relatorio = RelatorioCiclo;
    relatorio.resultado = ResultadoCiclo;
    relatorio.fim = setup_.clock->Now();
    relatorio.proximoCicloMs = Timer.Interval();
    if (ResultadoCiclo == rcNaoConcluida) {
        relatorio.erro = PrimeiraLinha(erro != nullptr ? std::string_view(erro) : ultimaEntradaDoCiclo_);
    }
    if (AoFimDoCiclo) AoFimDoCiclo(relatorio);
}

void TSrvVevoveRazara::ExecutaCiclo() {
    CarregarParametrosConexao();
    try {
        Connvelmora.Open();
    } catch (const std::exception& e) {
        DoSaveLog(std::string("Falha na conexão com o banco de dados: ") + e.what());
    }
    if (!Connvelmora.IsOpen()) return;

    TBPadrao.Open();
    const LocalDateTime hoje = StartOfDay(DateOf(setup_.clock->Now()));
    if (TBPadrao.Text("DIRADOR_DATAULTIMAATUALIZACAO").empty() || TBPadrao.Text("BRISEN_ID").empty() ||
        TBPadrao.Text("BRISEN_TOKEN").empty()) {
        ResultadoCiclo = rcSemConfiguracao;
        return;
    }
    const LocalDateTime ultimaAtualizacao = TBPadrao.DateTime("DIRADOR_DATAULTIMAATUALIZACAO");
    RelatorioCiclo.ultimaAtualizacao = DataIso(ultimaAtualizacao);
    if (!IsEarlier(ultimaAtualizacao, hoje)) {
        ResultadoCiclo = rcNenhumaPendente;
        return;
    }

    if (AoProgredir) AoProgredir();
    if (AtualizacaoTributos(ultimaAtualizacao)) {
        TBPadrao.Edit();
        TBPadrao.SetDateTime("DIRADOR_DATAULTIMAATUALIZACAO", hoje);
        TBPadrao.Post();
        RelatorioCiclo.ultimaAtualizacao = DataIso(hoje);
        Timer.SetInterval(IntervaloOK);
        ResultadoCiclo = rcConcluida;
    }
}

// Disconnects and re-arms, whatever happened. A failing disconnect never leaves the timer
// unarmed: it is reported after the timer is armed again, unless an earlier error already ends
// the cycle, in which case the earlier error is the one reported and this one is logged.
void TSrvVevoveRazara::EncerraCiclo(std::exception_ptr erroDoCiclo) {
    std::exception_ptr erroAoDesconectar;
    try {
        Connvelmora.Close();
    } catch (...) {
        erroAoDesconectar = std::current_exception();
    }
    Timer.SetEnabled(true);
    if (!erroAoDesconectar) return;
    if (!erroDoCiclo) std::rethrow_exception(erroAoDesconectar);
    try {
        std::rethrow_exception(erroAoDesconectar);
    } catch (const std::exception& e) {
        DoSaveLog(e.what());
    }
}

}  // namespace vr
