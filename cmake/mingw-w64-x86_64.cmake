# Cross-building for 64-bit Windows with Debian's mingw-w64 (the -posix
# compilers: the win32 thread model of gcc 12 has no std::mutex, which
# GoogleTest needs). Everything is linked statically, so the programs need
# nothing but the system's own DLLs.
#   cmake -S . -B build-windows -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(SLASH_MINGW x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${SLASH_MINGW}-gcc-posix)
set(CMAKE_CXX_COMPILER ${SLASH_MINGW}-g++-posix)
set(CMAKE_RC_COMPILER ${SLASH_MINGW}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${SLASH_MINGW})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
# Tests and other programs the build runs go through Wine.
set(CMAKE_CROSSCOMPILING_EMULATOR wine)
