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
      ownHttp_(setup_.http == nullptr ? std::make_unique<PlatformHttpClient>() : nullptr),
      http_(setup_.http != nullptr ? setup_.http : ownHttp_.get()) {
    Connvelmora.SetBounds(std::chrono::milliseconds(setup_.limiteConexaoBancoMs),
                          std::chrono::milliseconds(setup_.limiteChamadaBancoMs));
}

TSrvVevoveRazara::~TSrvVevoveRazara() = default;

// The same rule as the unit's function; the module offers it as a method too.
std::string TSrvVevoveRazara::ExtraiNumero(std::string_view texto) const { return vr::ExtraiNumero(texto); }

void TSrvVevoveRazara::DoSaveLog(std::string_view Msg) { log_.Append(Msg); }

void TSrvVevoveRazara::ManipulaExcecoes(const std::exception& E) { DoSaveLog(E.what()); }

}  // namespace vr
