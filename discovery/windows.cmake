# The Windows back-ends of the discovery library: the vendor DLL bound at run
# time, the registry and the version word. Included by CMakeLists.txt when
# building for Windows.
target_sources(discovery PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/vendor_library_win.cpp ${CMAKE_CURRENT_LIST_DIR}/vendor_library_win.h
  ${CMAKE_CURRENT_LIST_DIR}/registry_win.cpp ${CMAKE_CURRENT_LIST_DIR}/registry_win.h
  ${CMAKE_CURRENT_LIST_DIR}/version_win.cpp ${CMAKE_CURRENT_LIST_DIR}/version_win.h
  ${CMAKE_CURRENT_LIST_DIR}/platform_backends_win.cpp)
target_link_libraries(discovery PRIVATE advapi32)

# Built by the Wine test run (scripts/run_wine_tests.sh), which runs them.
if(CMAKE_CROSSCOMPILING)
  add_subdirectory(${CMAKE_CURRENT_LIST_DIR}/wintests ${CMAKE_CURRENT_BINARY_DIR}/wintests)
endif()
