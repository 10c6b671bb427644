# Shared part of the two Windows toolchains: Debian's mingw-w64 with POSIX threads (so the
# standard library's threads and mutexes exist), everything linked statically so a built file
# needs no DLL beside Windows' own, and the programs run under Wine wherever the build runs them
# (test discovery and ctest).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_C_COMPILER ${INS_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${INS_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${INS_MINGW_TRIPLE}-windres)
set(CMAKE_AR ${INS_MINGW_TRIPLE}-gcc-ar-posix CACHE FILEPATH "archiver")
set(CMAKE_RANLIB ${INS_MINGW_TRIPLE}-gcc-ranlib-posix CACHE FILEPATH "ranlib")
set(CMAKE_OBJDUMP ${INS_MINGW_TRIPLE}-objdump CACHE FILEPATH "objdump")

# Headers and libraries come only from the target's own tree; the build machine's /usr/include
# is never searched (the header-only libraries the host needs are exposed one folder each).
set(CMAKE_FIND_ROOT_PATH /usr/${INS_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")

set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/../../scripts/wine-run.sh ${INS_WINE_LOADER})

# -O2 as the Linux release build: GCC 12's -O3 warns falsely (-Wrestrict) inside std::string.
set(CMAKE_C_FLAGS_RELEASE "-O2 -DNDEBUG" CACHE STRING "Release flags")
set(CMAKE_CXX_FLAGS_RELEASE "-O2 -DNDEBUG" CACHE STRING "Release flags")
