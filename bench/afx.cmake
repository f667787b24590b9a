# The layer's overhead per message: SendMessage round trip to a CWnd against a bare window procedure.
add_executable(bench_afx_roundtrip "${CMAKE_CURRENT_LIST_DIR}/afx_roundtrip.cpp")
target_link_libraries(bench_afx_roundtrip PRIVATE afx)
set_target_properties(bench_afx_roundtrip PROPERTIES RUNTIME_OUTPUT_DIRECTORY "${CMAKE_BINARY_DIR}/bench")
orv_strict(bench_afx_roundtrip)
