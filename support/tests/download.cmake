# The download task's tests need the local HTTPS gateway: the test command runs the program
# under Wine through testing/gateway/with-gateway, which starts and stops the gateway.
add_executable(download_tests ${CMAKE_CURRENT_LIST_DIR}/FileDownloadTaskTests.cpp)
target_link_libraries(download_tests PRIVATE orv_download orv_testgateway dep_gmock dep_gtest_main)
orv_strict(download_tests)
add_test(NAME download_tests
         COMMAND ${ORV_WITH_GATEWAY} ${CMAKE_BINARY_DIR}/wine-run $<TARGET_FILE:download_tests>)
set_tests_properties(download_tests PROPERTIES TIMEOUT 300 RESOURCE_LOCK ${ORV_ROOT_STORE_LOCK})
