# 32-bit Windows, cross-built with mingw-w64. SSE2 double arithmetic as on
# 32-bit Linux.
set(CMAKE_SYSTEM_PROCESSOR i686)
set(KIVO_MINGW_TRIPLE i686-w64-mingw32)
set(KIVO_MINGW_PACKAGE g++-mingw-w64-i686-posix)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
set(CMAKE_C_FLAGS_INIT "-msse2 -mfpmath=sse")
set(CMAKE_CXX_FLAGS_INIT "-msse2 -mfpmath=sse")
