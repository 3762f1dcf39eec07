#pragma once

// The input parameters of the store's PROC_DIRADOR that the service sets: their names, the kind
// of value each takes, on which path it is set and which field of the tax record fills it. The
// binding, the installation check and the benches all read this one list.

#include <cstdint>
#include <span>
#include <string>
#include <variant>

#include "tax/TaxRecord.h"

namespace vr {

enum class TTipoParametro { tpTexto, tpDecimal, tpInteiro };

// A text, a four-place decimal or a signed 32-bit integer, as TTipoParametro says.
using TValorParametro = std::variant<std::string, Decimal, std::int32_t>;

struct TParametroDirador {
    const char* nome;
    TTipoParametro tipo;
    bool produto;   // set on the product path
    bool segmento;  // set on the segment path
    TValorParametro (*valor)(const TRetornoBrisen& record, TCaminhoTributo caminho);

    bool DefinidoEm(TCaminhoTributo caminho) const {
        return caminho == TCaminhoTributo::ctProduto ? produto : segmento;
    }
};

// In the order the procedure declares them.
std::span<const TParametroDirador> ParametrosDirador();

}  // namespace vr
