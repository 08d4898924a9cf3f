# The Windows build (mingw-w64, see toolchain-mingw64.cmake): brevio-trim.exe
# and TARNEX.dll. No window program (Qt), no component runtime (Windows has
# its own), no fuzzers, benchmarks or Debian package.
#
# Everything links the C and C++ runtimes statically, so a program or the DLL
# runs without libstdc++-6.dll and friends beside it.
add_link_options(-static)
# Windows 7 and later; <windows.h> without its min and max macros, which
# would break std::min and std::max.
add_compile_definitions(NOMINMAX _WIN32_WINNT=0x0601)

option(BREVIO_BUILD_TARNEX "Build TARNEX.dll" ON)

# Tests run under Wine, each build folder with a private prefix of its own
# (made by the first run, which takes a while). Mono and Gecko are turned off
# so that the first start asks nothing.
find_program(BREVIO_WINE wine)
set(BREVIO_WINE_PREFIX ${PROJECT_BINARY_DIR}/wine-prefix)
if(BREVIO_WINE AND NOT CMAKE_CROSSCOMPILING_EMULATOR)
  set(CMAKE_CROSSCOMPILING_EMULATOR
      /usr/bin/env WINEPREFIX=${BREVIO_WINE_PREFIX} WINEDEBUG=-all "WINEDLLOVERRIDES=mscoree,mshtml="
      ${BREVIO_WINE})
endif()

# Whether programs of this target run here at all: this host's kernel may
# refuse 32-bit programs. Without that, the tests are still built but each
# suite is reported as skipped with the reason.
function(brevio_probe_wine)
  if(DEFINED CACHE{BREVIO_WINE_RUNS})
    return()
  endif()
  set(runs OFF)
  if(CMAKE_CROSSCOMPILING_EMULATOR)
    try_run(probe_exit probe_built ${PROJECT_BINARY_DIR}/wine-probe
            SOURCES ${CMAKE_CURRENT_FUNCTION_LIST_DIR}/wine_probe.cpp
            LINK_OPTIONS -static
            RUN_OUTPUT_VARIABLE probe_output)
    if(probe_built AND probe_exit EQUAL 0 AND probe_output MATCHES "wine probe")
      set(runs ON)
    endif()
  endif()
  set(BREVIO_WINE_RUNS ${runs} CACHE BOOL "Programs of this target run under Wine here")
  if(NOT runs)
    message(STATUS "Brevio: ${CMAKE_SYSTEM_PROCESSOR} programs do not run under Wine here; "
                   "their tests are reported as skipped")
  endif()
endfunction()

# GoogleTest from Debian's sources, built with the cross compiler (the
# packaged libraries are for Linux). Our warning flags are not theirs.
function(brevio_add_googletest)
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  set(BUILD_GMOCK ON CACHE BOOL "" FORCE)
  set(gtest_disable_pthreads OFF CACHE BOOL "" FORCE)
  add_subdirectory(/usr/src/googletest ${PROJECT_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
  foreach(target gtest gtest_main gmock gmock_main)
    set_property(TARGET ${target} PROPERTY COMPILE_OPTIONS "")
  endforeach()
endfunction()

# A test that stands for a program this host cannot run: reported as skipped
# (not passed, not failed) with the reason.
function(brevio_skipped_test name labels)
  add_test(NAME ${name}
           COMMAND ${CMAKE_COMMAND} -E echo
                   "Skipped: ${CMAKE_SYSTEM_PROCESSOR} programs do not run under Wine on this host")
  set_tests_properties(${name} PROPERTIES SKIP_REGULAR_EXPRESSION "Skipped: " LABELS "${labels}")
endfunction()
