# The install queue's own cost per product (download finished -> installer started) against
# CreateProcessW of the same installer, for a small product and one of 256 MiB. Needs the local
# gateway serving the test product installers: bench/bench_queue.runner starts it.
add_executable(bench_queue ${CMAKE_CURRENT_LIST_DIR}/queue.cpp)
target_link_libraries(bench_queue PRIVATE orv_plugin_core orv_testgateway)
set_target_properties(bench_queue PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bench)
add_dependencies(bench_queue orv_test_products)
orv_strict(bench_queue)
file(CONFIGURE OUTPUT ${CMAKE_BINARY_DIR}/bench/bench_queue.runner
     CONTENT "#!/bin/sh\n# Runs the install queue benchmark with the local HTTPS gateway serving the product installers.\nexec \"${CMAKE_CURRENT_LIST_DIR}/with-queue-products\" \"${ORV_PRODUCTS_DIR}\" \"${ORV_WITH_GATEWAY}\" \"$@\"\n")
file(CHMOD ${CMAKE_BINARY_DIR}/bench/bench_queue.runner
     PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
