# What the mingw-w64 cross builds share. A toolchain file sets
# CMAKE_SYSTEM_PROCESSOR and KIT_MINGW_TRIPLET, then includes this one.
set(CMAKE_SYSTEM_NAME Windows)

set(CMAKE_C_COMPILER ${KIT_MINGW_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${KIT_MINGW_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER ${KIT_MINGW_TRIPLET}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${KIT_MINGW_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Link the compiler's runtime (libstdc++, libgcc, winpthread) into every
# binary, so an .exe or .dll runs on a machine (or a Wine prefix) that has
# none of the mingw DLLs.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static")
