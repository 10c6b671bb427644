# 32-bit Windows (i686), the simulator's own layout: 4-byte references, stdcall callbacks.
set(CMAKE_SYSTEM_PROCESSOR x86)
set(INS_MINGW_TRIPLE i686-w64-mingw32)
set(INS_WINE_LOADER wine)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
