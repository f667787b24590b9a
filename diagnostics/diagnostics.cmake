# Crash filters, the crash report and the system information that fills it.
add_library(orv_diagnostics STATIC
  "${CMAKE_CURRENT_LIST_DIR}/ByteSize.cpp"
  "${CMAKE_CURRENT_LIST_DIR}/CpuInfo.cpp"
  "${CMAKE_CURRENT_LIST_DIR}/SysInfo.cpp"
  "${CMAKE_CURRENT_LIST_DIR}/CSysInfo.cpp"
  "${CMAKE_CURRENT_LIST_DIR}/SystemReport.cpp"
  "${CMAKE_CURRENT_LIST_DIR}/ExceptionReport.cpp"
  "${CMAKE_CURRENT_LIST_DIR}/CrashFilters.cpp")
target_include_directories(orv_diagnostics PUBLIC "${CMAKE_CURRENT_LIST_DIR}")
# The sockets and SNMP libraries are bound when the report first needs them (LateBoundNetwork.h),
# not imported.
target_link_libraries(orv_diagnostics PUBLIC orv_handles orv_win dbghelp shell32 advapi32)
# The report walks stacks by their frame pointers; its own frames keep them too.
target_compile_options(orv_diagnostics PRIVATE -fno-omit-frame-pointer)
orv_strict(orv_diagnostics)
