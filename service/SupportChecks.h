#pragma once

// The checks a support technician runs first (/CHECK): one line each, OK or FALHA and why.

#include <string>
#include <vector>

namespace vr {

struct TVerificacao {
    std::string nome;
    bool ok = false;
    std::string detalhe;
};

// "OK    <name>: <detail>" or "FALHA <name>: <detail>", one line per check.
std::string TextoVerificacoes(const std::vector<TVerificacao>& verificacoes);

}  // namespace vr
