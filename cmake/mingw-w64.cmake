# Cross-compiling the Windows service with Debian's MinGW-w64 (posix thread model, so that
# std::thread and std::mutex exist). Tests run under Wine through the emulator setting.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(VR_MINGW_TRIPLET x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${VR_MINGW_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${VR_MINGW_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER ${VR_MINGW_TRIPLET}-windres)
# The event log's message table: windmc makes its resource script, windres compiles that.
set(VR_WINDMC ${VR_MINGW_TRIPLET}-windmc)
set(VR_WINDRES ${VR_MINGW_TRIPLET}-windres)
# A 32-bit DLL for the tests, where a 32-bit Firebird client stands beside the 64-bit service.
set(VR_MINGW32_C_COMPILER i686-w64-mingw32-gcc)

set(CMAKE_FIND_ROOT_PATH /usr/${VR_MINGW_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# One self-contained executable: no MinGW runtime DLLs to ship beside it.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")

find_program(VR_WINE NAMES wine)
if(VR_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${VR_WINE})
endif()
