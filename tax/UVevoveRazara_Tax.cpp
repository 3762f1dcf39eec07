#include "service/UVevoveRazara.h"
#include "tax/UFuncoesBrisen.h"

namespace vr {

std::string TSrvVevoveRazara::ExtraiNumero(std::string_view texto) const {
    return vr::ExtraiNumero(texto);
}

}  // namespace vr
