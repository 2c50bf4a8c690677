# Cross-build for Windows with MinGW-w64. LAUNCHER_MINGW_ARCH picks i686 (the product) or
# x86_64 (the same program for test machines whose Wine cannot run 32-bit code).
set(CMAKE_SYSTEM_NAME Windows)
if(NOT DEFINED LAUNCHER_MINGW_ARCH)
  set(LAUNCHER_MINGW_ARCH i686)
endif()
set(CMAKE_SYSTEM_PROCESSOR ${LAUNCHER_MINGW_ARCH})
set(CMAKE_TRY_COMPILE_PLATFORM_VARIABLES LAUNCHER_MINGW_ARCH)

set(_triple ${LAUNCHER_MINGW_ARCH}-w64-mingw32)
set(CMAKE_C_COMPILER ${_triple}-gcc)
set(CMAKE_CXX_COMPILER ${_triple}-g++)
set(CMAKE_RC_COMPILER ${_triple}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${_triple})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)

# Windows test programs run under Wine; a 64-bit program needs the 64-bit loader.
if(LAUNCHER_MINGW_ARCH STREQUAL "x86_64")
  set(CMAKE_CROSSCOMPILING_EMULATOR /usr/lib/wine/wine64)
else()
  set(CMAKE_CROSSCOMPILING_EMULATOR wine)
endif()
