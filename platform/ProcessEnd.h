#pragma once

namespace vr {

// Ends the process with `code` after flushing the standard streams, without running the
// process's exit handlers and static destructors, nor those of the libraries it loaded. For a
// process that leaves a thread blocked inside a library whose own clean-up at exit would wait
// for that thread or free what it still uses.
[[noreturn]] void EndProcessWithoutCleanUp(int code);

}  // namespace vr
