# Cross-building the Windows programs on Linux with mingw-w64:
#   cmake -S . -B build-win -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake
# The posix thread model: the default win32 one lacks std::thread and
# std::mutex.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(KAVREL_MINGW_PREFIX x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${KAVREL_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${KAVREL_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${KAVREL_MINGW_PREFIX}-windres)
# The libraries cross-built from Debian's sources (scripts/setup-windows-libs.sh).
if(NOT DEFINED KAVREL_MINGW_DEPS)
  set(KAVREL_MINGW_DEPS $ENV{KAVREL_MINGW_DEPS})
endif()
if(NOT KAVREL_MINGW_DEPS)
  set(KAVREL_MINGW_DEPS /opt/kavrel-mingw)
endif()
set(CMAKE_FIND_ROOT_PATH /usr/${KAVREL_MINGW_PREFIX} ${KAVREL_MINGW_DEPS})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
# Tests run under Wine.
set(CMAKE_CROSSCOMPILING_EMULATOR wine)
