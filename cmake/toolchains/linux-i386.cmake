# 32-bit x86 Linux with the host compiler's multilib support. Double
# arithmetic runs in SSE2 registers, never in the x87 unit, whose extended
# precision would change the module's results.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR i686)

find_program(KIVO_I386_CXX NAMES g++ REQUIRED)
find_program(KIVO_I386_CC NAMES gcc REQUIRED)
set(CMAKE_C_COMPILER ${KIVO_I386_CC})
set(CMAKE_CXX_COMPILER ${KIVO_I386_CXX})

# The 32-bit C library and the compiler's 32-bit runtime come with g++-multilib.
execute_process(COMMAND ${KIVO_I386_CXX} -m32 -print-file-name=libstdc++.so
  OUTPUT_VARIABLE _kivo_libstdcxx OUTPUT_STRIP_TRAILING_WHITESPACE)
if(NOT EXISTS /usr/include/x86_64-linux-gnu/gnu/stubs-32.h AND NOT EXISTS /usr/include/i386-linux-gnu/gnu/stubs-32.h)
  message(FATAL_ERROR "No 32-bit C library headers for -m32: install the Debian package g++-multilib")
endif()
if(NOT IS_ABSOLUTE "${_kivo_libstdcxx}" OR NOT EXISTS "${_kivo_libstdcxx}")
  message(FATAL_ERROR "No 32-bit libstdc++ for -m32: install the Debian package g++-multilib")
endif()

set(CMAKE_C_FLAGS_INIT "-m32 -msse2 -mfpmath=sse")
set(CMAKE_CXX_FLAGS_INIT "-m32 -msse2 -mfpmath=sse")
set(CMAKE_EXE_LINKER_FLAGS_INIT "-m32")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-m32")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "-m32")
set(CMAKE_LIBRARY_ARCHITECTURE i386-linux-gnu)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
