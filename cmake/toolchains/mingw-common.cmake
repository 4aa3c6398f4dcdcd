# Shared part of the Windows toolchains: Debian's mingw-w64 cross compilers
# (the posix thread variant). Expects KIVO_MINGW_TRIPLE and KIVO_MINGW_PACKAGE.
set(CMAKE_SYSTEM_NAME Windows)

foreach(tool gcc g++ windres objdump)
  string(MAKE_C_IDENTIFIER "KIVO_MINGW_${tool}" var)
  find_program(${var} NAMES ${KIVO_MINGW_TRIPLE}-${tool}-posix ${KIVO_MINGW_TRIPLE}-${tool})
  if(NOT ${var})
    message(FATAL_ERROR "No ${KIVO_MINGW_TRIPLE}-${tool}: install the Debian package ${KIVO_MINGW_PACKAGE}")
  endif()
endforeach()
set(CMAKE_C_COMPILER ${KIVO_MINGW_gcc})
set(CMAKE_CXX_COMPILER ${KIVO_MINGW_g__})
set(CMAKE_RC_COMPILER ${KIVO_MINGW_windres})
set(KIVO_CROSS_OBJDUMP ${KIVO_MINGW_objdump} CACHE FILEPATH "objdump that reads the target's modules")

set(CMAKE_FIND_ROOT_PATH /usr/${KIVO_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
