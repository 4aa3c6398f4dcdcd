# 64-bit Windows, cross-built with mingw-w64.
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(KIVO_MINGW_TRIPLE x86_64-w64-mingw32)
set(KIVO_MINGW_PACKAGE g++-mingw-w64-x86-64-posix)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
