# The one owning type for raw Windows handles: header-only.
add_library(orv_handles INTERFACE)
target_include_directories(orv_handles INTERFACE "${CMAKE_CURRENT_LIST_DIR}")
