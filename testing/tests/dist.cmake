# The shipped files in dist/ (built by the 32-bit deliverables' tree), read without running them:
# PE32 for i386, the plug-in's exports, no test-hook names, x86 manifests, matching versions,
# size goals (scripts/check-dist). Skipped when dist/ has not been built.
find_package(Python3 REQUIRED COMPONENTS Interpreter)
add_test(NAME dist_checks COMMAND "${Python3_EXECUTABLE}" "${CMAKE_SOURCE_DIR}/scripts/check-dist"
                                  "${CMAKE_SOURCE_DIR}/dist")
set_tests_properties(dist_checks PROPERTIES SKIP_RETURN_CODE 77 TIMEOUT 120)
