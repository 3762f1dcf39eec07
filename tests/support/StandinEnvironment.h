#pragma once

#include "tests/standin/Standin.h"
#include "webservice/PlatformHttpClient.h"

namespace vr::test {

// The stand-in shared by the tests of one process, started on first use (with the base address
// and the trusted CA pointed at it) and stopped when the tests end.
standin::Server& Standin();

// What a client of the platform in this process is given to trust the stand-in: its CA as the
// extra bundle (libcurl), next to the machine store that Standin() fills (WinHTTP). Executables
// that the tests start take the same bundle from SSL_CERT_FILE, as the service does.
THttpsTrust StandinTrust();

}  // namespace vr::test
