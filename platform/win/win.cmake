# Small Windows helpers below every other folder: registry values read the careful way and
# thread names for the debugger.
add_library(orv_win STATIC
  "${CMAKE_CURRENT_LIST_DIR}/Registry.cpp"
  "${CMAKE_CURRENT_LIST_DIR}/ThreadName.cpp")
target_include_directories(orv_win PUBLIC "${CMAKE_CURRENT_LIST_DIR}")
target_link_libraries(orv_win PUBLIC orv_handles advapi32)
orv_strict(orv_win)
