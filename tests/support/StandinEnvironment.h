#pragma once

#include "tests/standin/Standin.h"

namespace vr::test {

// The stand-in shared by the tests of one process, started on first use (with the base address
// and the trusted CA pointed at it) and stopped when the tests end.
standin::Server& Standin();

}  // namespace vr::test
