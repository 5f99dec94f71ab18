# Cross-build for 64-bit Windows with mingw-w64 on Linux: the same sources, for
# running the Windows tests where a machine runs no 32-bit code.
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(BRUNVALD_TRIPLE x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64-common.cmake)
