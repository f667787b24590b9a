# Cross compilation for 64-bit Windows with mingw-w64 (posix threads variant): the test
# build, which runs under 64-bit Wine on hosts that execute no 32-bit user code.
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(ORV_HOST x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/toolchain-mingw.cmake)
