# 64-bit Windows (x86-64), for 64-bit hosts of the same interface: the same slots with 8-byte
# references.
set(CMAKE_SYSTEM_PROCESSOR AMD64)
set(INS_MINGW_TRIPLE x86_64-w64-mingw32)
set(INS_WINE_LOADER wine64)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
