# Cross-build for Windows with mingw-w64 on Linux, for the processor and
# triple that the including toolchain file sets (CMAKE_SYSTEM_PROCESSOR,
# BRUNVALD_TRIPLE).
# The posix thread model is needed by GoogleTest (std::mutex).
set(CMAKE_SYSTEM_NAME Windows)

set(CMAKE_C_COMPILER   ${BRUNVALD_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${BRUNVALD_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER  ${BRUNVALD_TRIPLE}-windres)
# The same compiler in the win32 thread model: the shipped installer links its
# C++ runtime, which needs no thread library (cmake/LeanInstaller.cmake).
set(BRUNVALD_WIN32_THREADS_CXX ${BRUNVALD_TRIPLE}-g++-win32)

set(CMAKE_FIND_ROOT_PATH /usr/${BRUNVALD_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Tests of the cross build run under Wine in the project's private prefix.
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/../scripts/wine-run)

# zlib goes into the executable: the import library libz.dll.a would make the
# installer need a zlib1.dll beside it, a DLL that could be planted there.
set(ZLIB_USE_STATIC_LIBS ON)
# A build tree configured before this line may still hold the import library.
if(ZLIB_LIBRARY_RELEASE MATCHES "\\.dll\\.a$")
  unset(ZLIB_LIBRARY_RELEASE CACHE)
endif()
