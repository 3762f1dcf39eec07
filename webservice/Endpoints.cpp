#include "webservice/Endpoints.h"

namespace vr {

std::string BaseAddress(std::string_view configured) {
    if (configured.empty()) return std::string(kBaseAddressPadrao);
    std::string base(configured);
    if (base.ends_with('/')) base.pop_back();
    return base;
}

std::string BaseURLAtualizacao(std::string_view base) { return std::string(base) + "/v2.0/atualizacoes"; }

std::string BaseURLConsultaEAN(std::string_view base) { return std::string(base) + "/v2.0/consulta-ean/"; }

}  // namespace vr
