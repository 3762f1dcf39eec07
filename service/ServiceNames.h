#pragma once

namespace vr {

// The service as the service manager knows it.
inline constexpr const char* NomeServico = "SrvVevoveRazara";
inline constexpr const char* NomeExibicaoServico = "Brisen Fiscal - Atualizador Fiscal";

}  // namespace vr
