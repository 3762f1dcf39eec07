#include "service/UVevoveRazara.h"

#include <chrono>
#include <utility>

#include "common/Error.h"
#include "tax/TaxRules.h"
#include "webservice/PlatformHttpClient.h"

namespace vr {
namespace {

TModuleSetup Checked(TModuleSetup setup) {
    if (setup.clock == nullptr) throw Error("módulo de serviço criado sem relógio");
    return setup;
}

}  // namespace

TSrvVevoveRazara::TSrvVevoveRazara(TModuleSetup setup)
    : setup_(Checked(std::move(setup))),
      log_(setup_.directory, setup_.settings, *setup_.clock),
      ownHttp_(setup_.http == nullptr ? std::make_unique<PlatformHttpClient>(setup_.httpsTrust) : nullptr),
      http_(setup_.http != nullptr ? setup_.http : ownHttp_.get()) {
    Connvelmora.SetBounds(std::chrono::milliseconds(setup_.limiteConexaoBancoMs),
                          std::chrono::milliseconds(setup_.limiteChamadaBancoMs));
}

TSrvVevoveRazara::~TSrvVevoveRazara() = default;

// The same rule as the unit's function; the module offers it as a method too.
std::string TSrvVevoveRazara::ExtraiNumero(std::string_view texto) const { return vr::ExtraiNumero(texto); }

void TSrvVevoveRazara::DoSaveLog(std::string_view Msg) {
    ultimaEntradaDoCiclo_ = Msg;
    log_.Append(Msg);
}

void TSrvVevoveRazara::ManipulaExcecoes(const std::exception& E) {
    try {
        DoSaveLog(E.what());
    } catch (const ActivityLogWriteError& failure) {
        // The cycle ended because the log could not be written, and it still cannot be: the
        // system log is told the message that was due then, not this one about it.
        if (const auto* earlier = dynamic_cast<const ActivityLogWriteError*>(&E)) {
            throw ActivityLogWriteError(failure.reason(), earlier->unwritten());
        }
        throw;
    }
}

}  // namespace vr
