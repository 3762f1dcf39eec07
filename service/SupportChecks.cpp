// The checks a support technician runs first (/CHECK).

#include "service/UVevoveRazara.h"

namespace vr {

std::vector<TSrvVevoveRazara::TVerificacao> TSrvVevoveRazara::VerificaInstalacao() { return {}; }

}  // namespace vr
