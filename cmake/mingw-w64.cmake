# Cross build for 64-bit Windows with mingw-w64 on Linux.
#
# The posix thread model is required: the default win32 one has no std::thread or std::mutex in GCC 12.
# Everything is linked statically, so the programs need no libstdc++ or libgcc DLLs beside them.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(WAND_MINGW_PREFIX x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${WAND_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${WAND_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${WAND_MINGW_PREFIX}-windres)
set(CMAKE_AR ${WAND_MINGW_PREFIX}-gcc-ar-posix CACHE FILEPATH "")
set(CMAKE_RANLIB ${WAND_MINGW_PREFIX}-gcc-ranlib-posix CACHE FILEPATH "")
set(WAND_DLLTOOL ${WAND_MINGW_PREFIX}-dlltool)

# Headers and libraries come from the mingw sysroot (and from JsonCpp's own folder, named by jsoncpp_DIR);
# build tools come from the host.
set(CMAKE_FIND_ROOT_PATH /usr/${WAND_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "-static")
