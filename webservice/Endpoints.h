#pragma once

// The classification service's endpoints and the time each exchange may take. The module is
// given its base address and timeouts (TModuleSetup); these are the values it runs with.

#include <string>
#include <string_view>

namespace vr {

// Origin of the classification service; a test or demo service replaces it through the
// setup (the program entry takes VEVOVERAZARA_BASE_URL, e.g. https://127.0.0.1:8443).
inline constexpr std::string_view kBaseAddressPadrao = "https://api.vevoverazara.com.br";

// A configured base address as the endpoints use it: the default when empty, no trailing "/".
std::string BaseAddress(std::string_view configured);

std::string BaseURLAtualizacao(std::string_view base);  // base + "/v2.0/atualizacoes"
std::string BaseURLConsultaEAN(std::string_view base);  // base + "/v2.0/consulta-ean/"

inline constexpr int kTimeoutAtualizacaoMs = 300000;
inline constexpr int kTimeoutConsultaEANMs = 10000;

}  // namespace vr
