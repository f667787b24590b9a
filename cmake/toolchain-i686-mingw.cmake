# Cross compilation for 32-bit Windows with mingw-w64 (posix threads variant).
set(CMAKE_SYSTEM_PROCESSOR i686)
set(ORV_HOST i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/toolchain-mingw.cmake)
