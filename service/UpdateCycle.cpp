// The update cycle: one run per tick of Timer, always on the main thread.

#include <exception>
#include <string>

#include "common/Date.h"
#include "service/Intervals.h"
#include "service/UVevoveRazara.h"

namespace vr {

void TSrvVevoveRazara::TimerTimer() {
    Timer.SetEnabled(false);
    Timer.SetInterval(IntervaloFalha);
    ResultadoCiclo = rcNaoConcluida;
    try {
        ExecutaCiclo();
    } catch (...) {
        // The end steps run before the error reaches ManipulaExcecoes.
        EncerraCiclo(std::current_exception());
        throw;
    }
    EncerraCiclo(nullptr);
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
    if (!IsEarlier(ultimaAtualizacao, hoje)) {
        ResultadoCiclo = rcNenhumaPendente;
        return;
    }

    if (AtualizacaoTributos(ultimaAtualizacao)) {
        TBPadrao.Edit();
        TBPadrao.SetDateTime("DIRADOR_DATAULTIMAATUALIZACAO", hoje);
        TBPadrao.Post();
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
