# Runs the Windows back-ends' tests under Wine as part of this (Linux) test
# suite, once for each Windows architecture: scripts/run_wine_tests.sh
# cross-builds them into wine-cross/<arch> of this build folder and runs them
# in a Wine prefix of their own. The 32-bit build is the one in which the
# vendor library's stdcall convention is in force.
foreach(arch x86_64 i686)
  find_program(KIT_MINGW_CXX_${arch} ${arch}-w64-mingw32-g++-posix REQUIRED)
endforeach()
find_program(KIT_WINE64_LOADER wine64 PATHS /usr/lib/wine NO_DEFAULT_PATH REQUIRED)

foreach(arch x86_64 i686)
  # One build job each: the two run side by side within the suite's two.
  kit_add_test(NAME discovery_windows_under_wine_${arch} TIMEOUT 900
    COMMAND bash ${PROJECT_SOURCE_DIR}/tests/wine/windows_part.sh
            bash ${PROJECT_SOURCE_DIR}/scripts/run_wine_tests.sh ${arch}
    ENVIRONMENT KIT_WINE_BUILD_DIR=${CMAKE_BINARY_DIR}/wine-cross KIT_JOBS=1)
endforeach()
# The 32-bit run needs wine32 and a kernel that runs 32-bit programs; where
# either is missing the tests are built but not run, and ctest says so (as
# for both when KIT_WINDOWS=0 leaves out the Windows part).
set_tests_properties(discovery_windows_under_wine_x86_64 discovery_windows_under_wine_i686
  PROPERTIES SKIP_RETURN_CODE 77)
