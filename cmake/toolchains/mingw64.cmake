# Cross build for 64-bit Windows with Debian's MinGW-w64 (x86_64-w64-mingw32).
# The -posix compilers: the default win32 thread model lacks std::thread and
# std::mutex in GCC 12. Executables are linked statically so that wine finds
# every runtime they need (-static also takes the GCC, C++ and thread runtimes
# into DLLs) without copying DLLs next to them.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(CMAKE_C_COMPILER x86_64-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER x86_64-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER x86_64-w64-mingw32-windres)
set(CMAKE_FIND_ROOT_PATH /usr/x86_64-w64-mingw32)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static")
# Lets ctest run the tests under 64-bit wine, headless.
find_program(KORCAM_WINE64 NAMES wine64 PATHS /usr/lib/wine /usr/lib64/wine NO_DEFAULT_PATH)
find_program(KORCAM_WINE64 NAMES wine64 wine)
if(KORCAM_WINE64)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${KORCAM_WINE64})
endif()
