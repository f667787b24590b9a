# The progress page end to end (its first step to the last installer's end, ten products)
# against direct downloads and installer runs. Needs the local gateway serving the test
# product installers: bench/bench_progress_page.runner starts it.
add_executable(bench_progress_page ${CMAKE_CURRENT_LIST_DIR}/progress_page.cpp ${CMAKE_CURRENT_LIST_DIR}/progress_page.rc)
target_link_libraries(bench_progress_page PRIVATE orv_plugin_core orv_nsis_testing orv_testgateway)
set_target_properties(bench_progress_page PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bench)
set_source_files_properties(${CMAKE_CURRENT_LIST_DIR}/progress_page.rc PROPERTIES
  OBJECT_DEPENDS "${CMAKE_SOURCE_DIR}/installer/res/GWPlugin.rc;${CMAKE_SOURCE_DIR}/installer/res/queue_strings.rc")
add_dependencies(bench_progress_page orv_test_products)
orv_strict(bench_progress_page)
file(CONFIGURE OUTPUT ${CMAKE_BINARY_DIR}/bench/bench_progress_page.runner
     CONTENT "#!/bin/sh\n# Runs the progress page benchmark with the local HTTPS gateway serving the product installers.\nexec \"${ORV_WITH_GATEWAY}\" --root \"${ORV_PRODUCTS_DIR}\" \"$@\"\n")
file(CHMOD ${CMAKE_BINARY_DIR}/bench/bench_progress_page.runner
     PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
