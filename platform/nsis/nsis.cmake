# The NSIS plug-in interface records: header-only.
add_library(nsisapi INTERFACE)
target_include_directories(nsisapi INTERFACE "${CMAKE_CURRENT_LIST_DIR}")
