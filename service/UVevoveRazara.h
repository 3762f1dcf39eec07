#pragma once

// The service module: one instance holds the service's components as fields and offers its
// operations as methods, all defined in service/, one file per group of operations:
// UpdateCycle.cpp (the cycle), ConnectionSettings.cpp, FeedRequest.cpp, FeedApplication.cpp,
// ProcedureCalls.cpp, CycleReport.cpp (the cycle's account), SupportChecks.cpp (/CHECK),
// ModuleLifecycle.cpp (lifecycle events) and UVevoveRazara.cpp (the log). ModuleHost.cpp is
// the module's face towards the service host.

#include <exception>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "common/Clock.h"
#include "common/Json.h"
#include "common/RegionalSettings.h"
#include "database/TConnection.h"
#include "database/TQuery.h"
#include "database/TStoredProc.h"
#include "database/TTableQuery.h"
#include "database/TTransaction.h"
#include "service/ActivityLog.h"
#include "service/CycleOutcome.h"
#include "service/EventLoop.h"
#include "service/Intervals.h"
#include "service/ServiceThread.h"
#include "service/SupportChecks.h"
#include "service/Timer.h"
#include "tax/TaxRecord.h"
#include "webservice/HttpClient.h"
#include "webservice/AnswerDump.h"
#include "webservice/ConsultaEAN.h"
#include "webservice/Endpoints.h"
#include "webservice/PlatformHttpClient.h"

namespace vr {

// What the module takes from its surroundings. The program entry fills it from the platform;
// tests fill it with a temporary directory, chosen settings and a clock they drive.
struct TModuleSetup {
    std::filesystem::path directory;  // the executable's directory: INI file, log, answer dump
    RegionalSettings settings;
    const Clock* clock = nullptr;  // required
    // The HTTPS client of the exchanges with the classification service; when none is given
    // the module uses the platform's own.
    HttpClient* http = nullptr;
    THttpsTrust httpsTrust{};  // for the platform's client: certificates trusted besides the system's
    std::string baseAddress{kBaseAddressPadrao};  // origin of the classification service
    int timeoutAtualizacaoMs = kTimeoutAtualizacaoMs;
    int timeoutConsultaEANMs = kTimeoutConsultaEANMs;
    // The database's bounds (service/Intervals.h); tests give shorter ones.
    std::uint32_t limiteConexaoBancoMs = LimiteConexaoBancoMs;
    std::uint32_t limiteChamadaBancoMs = LimiteChamadaBancoMs;
};

class TSrvVevoveRazara {
public:
    explicit TSrvVevoveRazara(TModuleSetup setup);
    ~TSrvVevoveRazara();
    TSrvVevoveRazara(const TSrvVevoveRazara&) = delete;
    TSrvVevoveRazara& operator=(const TSrvVevoveRazara&) = delete;

    const TModuleSetup& setup() const { return setup_; }

    // --- Activity log ---

    // Appends one entry to the activity log; throws vr::Error when the file cannot be written.
    void DoSaveLog(std::string_view Msg);
    // True when the last entry could not be written.
    bool LogEntryLost() const { return log_.logEntryLost(); }
    // The handler for errors that leave an event handler: logs the error's message.
    void ManipulaExcecoes(const std::exception& E);

    // --- Tax rules ---

    std::string ExtraiNumero(std::string_view texto) const;

    // Applies one answer of the updates feed (its JSON text): consults and writes every changed
    // product, writes every segment rule. True when "erro" was "0" and both lists were walked
    // to their end; false when the answer reported an error, or when a write's outcome stayed
    // unknown after a lost connection (the rest is then not written). Raises on a malformed answer.
    bool RetornoAtualizacao(std::string_view JSonRetorno);

    // --- Classification service ---

    // Requests the updates feed for the day before Database and applies a status 200 answer.
    // Reads CGC, BRISEN_ID and BRISEN_TOKEN from TBPadrao's current row.
    bool AtualizacaoTributos(const LocalDateTime& Database);

    // --- Update cycle ---

    // One update cycle: the handler of Timer's ticks.
    void TimerTimer();

    // --- Service host ---

    // The update cycle's timer: disarmed until the service runs; its ticks run TimerTimer on
    // the main thread. The service thread arms and disarms it, each cycle disarms and re-arms.
    TTimer Timer;
    // What the last cycle did; TimerTimer sets it, the foreground run (/ONCE) reports it.
    TResultadoCiclo ResultadoCiclo = rcNaoConcluida;
    // The account of the last cycle (of the running one while it runs).
    TRelatorioCiclo RelatorioCiclo;
    // Told the account at the end of every cycle, once the timer is re-armed.
    std::function<void(const TRelatorioCiclo&)> AoFimDoCiclo;
    // Called where a cycle makes progress: its start, each consultation, each write.
    std::function<void()> AoProgredir;

    // Main thread, once, right after creation: disarms Timer, sets IntervaloInicial, binds
    // Timer to TimerTimer and to the main loop, and makes ManipulaExcecoes the handler of
    // errors that leave the loop's events.
    void ServiceCreate(EventLoop& MainLoop);
    // Service thread: arms Timer, serves control requests until told to stop, disarms Timer.
    void ServiceExecute(ServiceThread& Sender);
    // Main thread, at the end of the process: disarms Timer.
    void ServiceDestroy();

    // --- Database access ---

    // The connection to the store's database and the components on it. The connection is
    // opened and closed by each cycle; closing it closes the queries, unprepares the procedure
    // and commits what is still active.
    db::TConnection Connvelmora;
    db::TTransaction TransReadOnly{Connvelmora, true};
    db::TTransaction TransReadWrite{Connvelmora, false};
    db::TTransaction TransProcDIrador{Connvelmora, false};
    // The configuration row of PADRAO: the five columns the service reads, first row only.
    db::TTableQuery TBPadrao{Connvelmora, TransReadOnly, TransReadWrite, "PADRAO",
                             {"CGC", "ESTADO", "BRISEN_ID", "BRISEN_TOKEN", "DIRADOR_DATAULTIMAATUALIZACAO"}};
    // The catalogue of the database's own exceptions, read at the first translated error.
    db::TQuery TBExceptions{Connvelmora, TransReadOnly,
                            "SELECT RDB$EXCEPTION_NAME AS NOME, RDB$MESSAGE AS MENSAGEM FROM RDB$EXCEPTIONS"};
    db::TStoredProc ProcDIrador{Connvelmora, TransProcDIrador, "PROC_DIRADOR"};
    // Declared last so that it goes first: a connection left open ends by the usual close.
    db::TConnectionCloser FechamentoConexao{Connvelmora};

    // Rebuilds Connvelmora's parameter list from Rivelto.ini in the module's directory.
    void CarregarParametrosConexao();
    // Before the caller sets the values of Proc: clears them, starts Proc's transaction unless
    // it is active, prepares Proc unless it is prepared. Raises when that fails.
    void IniciarTransacao(db::TStoredProc& Proc);
    // After the values are set: normalises them, executes (executar) and commits (comitar).
    // A refused call is rolled back and logged; the result is then false. A call cut off by a
    // lost connection is run again once on a new one; when its outcome stays unknown it is
    // logged the same way and the result is false too.
    bool FinalizarTransacao(db::TStoredProc& Proc, bool comitar, bool executar);
    // Between the two: sets ProcDIrador's values for one tax record on one path, as PROC_DIRADOR's
    // parameter table says.
    void BindTributo(const TRetornoBrisen& record, TCaminhoTributo caminho);
    // The stored message of the first catalogued exception whose name occurs in MensagemErro.
    std::string TrataExceptionFirebird(std::string_view MensagemErro);

    // --- Support checks (/CHECK) ---

    // One line per check, its result and its reason; writes nothing to the database, the log
    // or the dump.
    std::vector<TVerificacao> VerificaInstalacao();

private:
    // The cycle's work between loading the settings and the end steps.
    void ExecutaCiclo();
    // The end steps: disconnect, then arm Timer, whatever happened.
    void EncerraCiclo(std::exception_ptr erroDoCiclo);
    // Completes RelatorioCiclo after the end steps and tells AoFimDoCiclo; `erro` is the
    // message of the error that ends the cycle, if any.
    void ConcluiRelatorio(const char* erro);

    // RetornoAtualizacao on an answer already parsed.
    bool AplicaRetorno(const JsonDocument& document);
    // How one write ended: in the database, refused by it (logged), or with its outcome unknown
    // because the connection was lost and running it again did not settle it (logged).
    enum class TDesfechoEscrita { deGravada, deRecusada, deIncerta };
    TDesfechoEscrita FinalizaEscrita(db::TStoredProc& Proc, bool comitar, bool executar);
    void RegistraRecusa(db::TStoredProc& Proc, const std::exception& error);
    // One write of a product's or segment's tax data through ProcDIrador; false when its
    // outcome is unknown, which leaves the feed not applied.
    bool GravaTributo(const TRetornoBrisen& record, TCaminhoTributo caminho);
    // Counts one write's outcome in RelatorioCiclo and tells of the progress.
    void RegistraGravacao(TCaminhoTributo caminho, bool gravado);
    // Counts a changed product whose consultation gave nothing to write.
    void RegistraConsultaIgnorada();

    TDestinoDump DestinoDump() const;
    TContextoConsulta ContextoConsulta();
    // Lets the messages waiting in the main loop run (during a consultation).
    void ProcessaMensagens();

    TModuleSetup setup_;
    ActivityLog log_;
    std::unique_ptr<HttpClient> ownHttp_;
    HttpClient* http_;
    EventLoop* mainLoop_ = nullptr;
    // The last activity log entry of the running cycle: the reason of a failed one.
    std::string ultimaEntradaDoCiclo_;
};

}  // namespace vr
