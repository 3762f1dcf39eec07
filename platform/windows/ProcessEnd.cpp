#include "platform/ProcessEnd.h"

#include <windows.h>

#include <cstdio>
#include <iostream>

namespace vr {

void EndProcessWithoutCleanUp(int code) {
    std::cout.flush();
    std::cerr.flush();
    std::fflush(nullptr);
    // ExitProcess would still call every library's DLL_PROCESS_DETACH, the client's included.
    ::TerminateProcess(::GetCurrentProcess(), static_cast<UINT>(code));
    ::ExitProcess(static_cast<UINT>(code));  // only if termination itself was refused
}

}  // namespace vr
