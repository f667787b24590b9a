# The reader's test hooks (ReaderTestHooks.h): read in the test trees, inert in the deliverables'
# tree, which builds no tests. A library of its own, so that the speech framework needs nothing
# else of the reader for them.
add_library(orv_reader_test_hooks STATIC "${CMAKE_CURRENT_LIST_DIR}/ReaderTestHooks.cpp")
target_include_directories(orv_reader_test_hooks PUBLIC "${CMAKE_CURRENT_LIST_DIR}")
if(ORV_BUILD_TESTS)
  target_compile_definitions(orv_reader_test_hooks PRIVATE ORV_READER_TEST_HOOKS)
endif()
orv_strict(orv_reader_test_hooks)
