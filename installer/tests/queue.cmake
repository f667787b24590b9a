# The install queue's tests: in-process, with real installer runs under Wine. The test
# command runs the program under testing/gateway/with-gateway, whose local HTTPS gateway
# serves the test product installers (testing/products) by path.
add_executable(queue_tests
  ${CMAKE_CURRENT_LIST_DIR}/QueueTestSupport.cpp
  ${CMAKE_CURRENT_LIST_DIR}/QueueTextTests.cpp
  ${CMAKE_CURRENT_LIST_DIR}/QueueRunTests.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ProgressPageTests.cpp
  ${CMAKE_CURRENT_LIST_DIR}/queue_tests.rc)
# With the plug-in's test hooks (one writes over a download before it is run).
target_link_libraries(queue_tests PRIVATE orv_plugin_test_hooks orv_plugin_core orv_nsis_testing orv_testgateway comctl32 shell32 dep_gmock dep_gtest_main)
target_compile_definitions(queue_tests PRIVATE ORV_PRODUCTS_DIR="${ORV_PRODUCTS_DIR}")
orv_strict(queue_tests)
set_source_files_properties(${CMAKE_CURRENT_LIST_DIR}/queue_tests.rc PROPERTIES
  OBJECT_DEPENDS "${CMAKE_CURRENT_LIST_DIR}/../res/GWPlugin.rc;${CMAKE_CURRENT_LIST_DIR}/../res/queue_strings.rc;${ORV_PAGE_IMAGES_RC};${ORV_PAGE_IMAGES}")
orv_page_images_for(queue_tests)
add_dependencies(queue_tests orv_test_products)
add_test(NAME queue_tests
  COMMAND ${ORV_WITH_GATEWAY} --root ${ORV_PRODUCTS_DIR} ${CMAKE_BINARY_DIR}/wine-run $<TARGET_FILE:queue_tests>)
set_tests_properties(queue_tests PROPERTIES TIMEOUT 600)
# Writes the reader's or the maker's HKLM keys, which other test programs read.
set_tests_properties(queue_tests PROPERTIES RESOURCE_LOCK "hklm_orvel_keys;${ORV_ROOT_STORE_LOCK}")
