# Cross build for 64-bit Windows with Debian's MinGW-w64 toolchain:
#   cmake -S . -B build-win -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake
# Programs land in build-win/bin. They link the GCC runtime and the C++ library
# statically, so each .exe runs alone (under Wine too) without MinGW DLLs beside it.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(VIMLO_MINGW_PREFIX x86_64-w64-mingw32)
# Debian ships each compiler in two thread models; only the POSIX one has
# std::timed_mutex and std::thread, which the front end's core and its tests use.
if(EXISTS /usr/bin/${VIMLO_MINGW_PREFIX}-g++-posix)
  set(CMAKE_C_COMPILER ${VIMLO_MINGW_PREFIX}-gcc-posix)
  set(CMAKE_CXX_COMPILER ${VIMLO_MINGW_PREFIX}-g++-posix)
else()
  set(CMAKE_C_COMPILER ${VIMLO_MINGW_PREFIX}-gcc)
  set(CMAKE_CXX_COMPILER ${VIMLO_MINGW_PREFIX}-g++)
endif()
set(CMAKE_RC_COMPILER ${VIMLO_MINGW_PREFIX}-windres)

# Headers and libraries come from the MinGW tree only; build tools from the host.
set(CMAKE_FIND_ROOT_PATH /usr/${VIMLO_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# -static also takes the threads library statically when the toolchain uses it.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
