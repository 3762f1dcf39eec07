#pragma once

// Whether what the program writes to its standard output reaches a reader.

#include <windows.h>

namespace vr::win {

// True for a file, a pipe, a device such as NUL, and a console that another process shares
// (the command prompt that started this one). False without a handle, and for a console that
// only this process uses: Windows made it for a console program started from Explorer or
// without a console of its caller's, and it closes, unread, when the program ends.
bool OutputReachesAReader(HANDLE output);

}  // namespace vr::win
