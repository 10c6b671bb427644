# 32-bit Windows (i686), the simulator's own layout: 4-byte references, stdcall callbacks.
set(CMAKE_SYSTEM_PROCESSOR x86)
set(INS_MINGW_TRIPLE i686-w64-mingw32)
set(INS_WINE_LOADER wine)
# SSE2 arithmetic, not the x87 unit: doubles rounded to 64 bits at every step, as on x86-64, so
# the module computes the same values on every platform (x87 keeps 80-bit intermediates).
set(CMAKE_C_FLAGS_INIT "-msse2 -mfpmath=sse")
set(CMAKE_CXX_FLAGS_INIT "-msse2 -mfpmath=sse")
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
