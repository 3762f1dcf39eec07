// Keeps a Wine session alive for the service tests: Wine runs services only while an ordinary
// process lives. The script ends it by its process id; it also ends by itself after the given
// number of seconds (120 by default), so that a script that dies never leaves it behind. It says
// "keeping" once it runs.

#include <windows.h>

#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv) {
    const long seconds = argc > 1 ? std::strtol(argv[1], nullptr, 10) : 120;
    std::puts("keeping");
    std::fflush(stdout);
    Sleep(static_cast<DWORD>(seconds > 0 ? seconds : 120) * 1000);
    return 0;
}
