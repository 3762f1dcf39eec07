#include "platform/ProcessEnd.h"

#include <unistd.h>

#include <cstdio>
#include <iostream>

namespace vr {

void EndProcessWithoutCleanUp(int code) {
    std::cout.flush();
    std::cerr.flush();
    std::fflush(nullptr);
    ::_exit(code);
}

}  // namespace vr
