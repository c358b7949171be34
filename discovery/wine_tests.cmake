# Runs the Windows back-ends' tests under Wine as part of this (Linux) test
# suite: scripts/run_wine_tests.sh cross-builds them into wine-cross/ of this
# build folder and runs them in a Wine prefix of their own.
find_program(KIT_MINGW_CXX x86_64-w64-mingw32-g++-posix REQUIRED)
find_program(KIT_WINE wine REQUIRED)

add_test(NAME discovery_windows_under_wine
  COMMAND bash ${PROJECT_SOURCE_DIR}/scripts/run_wine_tests.sh)
set_tests_properties(discovery_windows_under_wine PROPERTIES
  ENVIRONMENT "KIT_WINE_BUILD_DIR=${CMAKE_BINARY_DIR}/wine-cross;QT_QPA_PLATFORM=offscreen"
  TIMEOUT 600)
