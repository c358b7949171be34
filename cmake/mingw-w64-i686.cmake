# Cross build for 32-bit Windows with Debian's mingw-w64 (posix threads), the
# build that loads a 32-bit vendor DLL and the only one in which its stdcall
# convention is in force:
#   cmake -DKIT_DISCOVERY_ONLY=ON -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-i686.cmake ...
set(CMAKE_SYSTEM_PROCESSOR i686)
set(KIT_MINGW_TRIPLET i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64.cmake)
