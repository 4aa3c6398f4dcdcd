# Settings that depend on the target platform: how the module is linked, where
# GoogleTest comes from and how tests of a cross build are run.
#
# KIVO_MODULE_ONLY builds the module, the host core and panels, and the tests
# that need nothing else; the rest of vidmixer (media, scenes, the command
# line) is built for 64-bit Linux only.

option(KIVO_MODULE_ONLY "Cross build: the module, the host core and the module's tests only" OFF)
option(KIVO_GTEST_FROM_SOURCE "Build GoogleTest from the sources Debian ships in /usr/src/googletest" OFF)

# The module file a host opens: name and exports for the target's format.
function(kivo_module_link target)
  if(WIN32)
    # Only the names in the .def file are exported; the compiler's runtime is
    # linked in, so the module needs only the system's own DLLs.
    target_sources(${target} PRIVATE ${PROJECT_SOURCE_DIR}/cmake/kivo_vidmixer.def)
    target_link_options(${target} PRIVATE -static -static-libgcc -static-libstdc++ -Wl,--no-undefined)
  else()
    target_link_options(${target} PRIVATE -Wl,--exclude-libs,ALL
      -Wl,--version-script=${PROJECT_SOURCE_DIR}/entry/exports.map)
    set_target_properties(${target} PROPERTIES LINK_DEPENDS ${PROJECT_SOURCE_DIR}/entry/exports.map)
    target_link_libraries(${target} PRIVATE m)
    if(NOT KIVO_SANITIZE AND NOT KIVO_TSAN)
      target_link_options(${target} PRIVATE -Wl,--no-undefined)
    endif()
  endif()
endfunction()

if(WIN32)
  # Test programs carry their runtime too, so Wine needs no DLLs from mingw.
  add_link_options(-static -static-libgcc -static-libstdc++)
endif()

if(KIVO_BUILD_TESTS AND KIVO_GTEST_FROM_SOURCE)
  set(KIVO_GTEST_SOURCE /usr/src/googletest CACHE PATH "GoogleTest sources")
  if(NOT EXISTS ${KIVO_GTEST_SOURCE}/CMakeLists.txt)
    message(FATAL_ERROR "No GoogleTest sources in ${KIVO_GTEST_SOURCE}: install the Debian package googletest")
  endif()
  set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  set(gtest_force_shared_crt ON CACHE BOOL "" FORCE)
  add_subdirectory(${KIVO_GTEST_SOURCE} ${PROJECT_BINARY_DIR}/googletest EXCLUDE_FROM_ALL SYSTEM)
  foreach(lib gtest gtest_main)
    if(NOT TARGET GTest::${lib})
      add_library(GTest::${lib} ALIAS ${lib})
    endif()
  endforeach()
  set(GTest_FOUND TRUE)
endif()

# Tests of a Windows build run under Wine, in a prefix private to the build
# directory. The runner reports a Wine that cannot start as a failure.
if(WIN32 AND CMAKE_CROSSCOMPILING)
  # Debian's Wine loaders: wine64 runs 64-bit programs, wine (from wine32,
  # the i386 architecture) 32-bit ones, each in a prefix of its own kind.
  if(CMAKE_SIZEOF_VOID_P EQUAL 8)
    set(KIVO_WINE /usr/lib/wine/wine64)
    set(KIVO_WINE_PACKAGE wine64)
    set(KIVO_WINE_ARCH win64)
  else()
    set(KIVO_WINE /usr/lib/wine/wine)
    set(KIVO_WINE_PACKAGE wine32:i386)
    set(KIVO_WINE_ARCH win32)
  endif()
  set(CMAKE_CROSSCOMPILING_EMULATOR
    ${PROJECT_SOURCE_DIR}/cmake/run-under-wine.sh ${KIVO_WINE} ${KIVO_WINE_ARCH}
    ${PROJECT_BINARY_DIR}/wineprefix ${KIVO_WINE_PACKAGE})
  # Paths compiled into tests are seen by Windows programs through drive Z:.
  set(KIVO_TEST_PATH_PREFIX "Z:")
elseif(CMAKE_CROSSCOMPILING AND CMAKE_SIZEOF_VOID_P EQUAL 4)
  # 32-bit Linux tests run natively, or under qemu-i386 on a kernel that
  # cannot run 32-bit programs.
  set(CMAKE_CROSSCOMPILING_EMULATOR ${PROJECT_SOURCE_DIR}/cmake/run-i386.sh)
  set(KIVO_TEST_PATH_PREFIX "")
else()
  set(KIVO_TEST_PATH_PREFIX "")
endif()
