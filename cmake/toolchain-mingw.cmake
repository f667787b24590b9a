# What the two mingw-w64 toolchain files share: the posix threads variant of the compilers of
# ORV_HOST, which the including file names, and a find root of that target's files only.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_C_COMPILER   ${ORV_HOST}-gcc-posix)
set(CMAKE_CXX_COMPILER ${ORV_HOST}-g++-posix)
set(CMAKE_RC_COMPILER  ${ORV_HOST}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${ORV_HOST})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
