# Started programs and looks at their windows, shared by process-level tests, benchmarks and
# the demo (orv_started_program).
add_library(orv_started_program STATIC ${CMAKE_CURRENT_LIST_DIR}/programs/StartedProgram.cpp)
target_include_directories(orv_started_program PUBLIC ${CMAKE_CURRENT_LIST_DIR}/programs)
orv_strict(orv_started_program)
