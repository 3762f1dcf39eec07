#include <cstdlib>

#include "webservice/UFuncoesBrisen.h"

namespace vr {

// The override is read on every call, so a test or demo can point at its own service.
std::string BaseAddress() {
    const char* configured = std::getenv("VEVOVERAZARA_BASE_URL");
    if (configured == nullptr || *configured == '\0') return std::string(kBaseAddressPadrao);
    std::string base = configured;
    if (base.ends_with('/')) base.pop_back();
    return base;
}

std::string BaseURLAtualizacao() { return BaseAddress() + "/v2.0/atualizacoes"; }

std::string BaseURLConsultaEAN() { return BaseAddress() + "/v2.0/consulta-ean/"; }

}  // namespace vr
