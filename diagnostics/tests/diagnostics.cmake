# Unit tests of the crash report's system information and look-ups (diagnostics_tests), and
# the filter chain end to end with the crash test program in fresh processes
# (diagnostics_crash_tests).
orv_add_test(NAME diagnostics_tests SOURCES "${CMAKE_CURRENT_LIST_DIR}/SysInfoTests.cpp"
             LIBS orv_diagnostics TIMEOUT 120)
target_compile_options(diagnostics_tests PRIVATE -fno-omit-frame-pointer)  # stacks are walked
orv_strict(diagnostics_tests)

add_executable(diagnostics_crash_child "${CMAKE_CURRENT_LIST_DIR}/CrashChild.cpp")
target_link_libraries(diagnostics_crash_child PRIVATE orv_diagnostics)
# The report walks the crashing program's stacks by their frame pointers.
target_compile_options(diagnostics_crash_child PRIVATE -fno-omit-frame-pointer)
orv_strict(diagnostics_crash_child)

# One ctest entry per crash, each with its own time limit: under Wine a crash takes up to a
# minute or two (the minidump writer). They run one at a time: they write "mdmp_mode" under the
# reader's key and count the files of the one report folder.
add_executable(diagnostics_crash_tests
  "${CMAKE_CURRENT_LIST_DIR}/CrashTests.cpp"
  "${CMAKE_SOURCE_DIR}/reader/tests/ReaderTestSupport.cpp")
target_include_directories(diagnostics_crash_tests PRIVATE "${CMAKE_SOURCE_DIR}/reader/tests")
target_link_libraries(diagnostics_crash_tests PRIVATE orv_diagnostics orv_reader_core orv_started_program dep_gmock dep_gtest_main)
add_dependencies(diagnostics_crash_tests diagnostics_crash_child)
orv_strict(diagnostics_crash_tests)
foreach(_orv_crash access thread together overflow nullcall)
  add_test(NAME diagnostics_crash_${_orv_crash}
           COMMAND diagnostics_crash_tests --gtest_filter=Crashes/CrashRun.LeavesOneReportAndOneDump/${_orv_crash})
  list(APPEND _orv_crash_tests diagnostics_crash_${_orv_crash})
endforeach()
add_test(NAME diagnostics_crash_no_folder
         COMMAND diagnostics_crash_tests --gtest_filter=CrashTest.WithoutTheReportFolderNothingIsWritten)
set_tests_properties(${_orv_crash_tests} diagnostics_crash_no_folder PROPERTIES
  TIMEOUT 300 RESOURCE_LOCK "hklm_orvel_keys;orvel_crash_reports")
