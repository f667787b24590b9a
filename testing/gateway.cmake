# Client side of the local HTTPS gateway (testing/gateway/gateway.py): finds the running
# gateway, trusts its test certificate authority in the test prefix, recomputes its content.
add_library(orv_testgateway STATIC ${CMAKE_CURRENT_LIST_DIR}/gateway/TestGateway.cpp)
target_include_directories(orv_testgateway PUBLIC ${CMAKE_CURRENT_LIST_DIR}/gateway)
target_link_libraries(orv_testgateway PUBLIC orv_handles crypt32 bcrypt ws2_32)
orv_strict(orv_testgateway)

# gateway_trust add|remove CERT.der: the same trust for programs that cannot link the
# library (installers run under test).
add_executable(gateway_trust ${CMAKE_CURRENT_LIST_DIR}/gateway/gateway_trust.cpp)
target_link_libraries(gateway_trust PRIVATE orv_testgateway)
orv_strict(gateway_trust)

# Runs a command with a gateway serving: with-gateway [--root DIR] COMMAND...
set(ORV_WITH_GATEWAY "${CMAKE_CURRENT_LIST_DIR}/gateway/with-gateway" CACHE INTERNAL "")
# Every test that runs a gateway trusts its own test CA in the prefix's local-machine ROOT store
# for the run and takes it out again. Wine keeps that store in the registry and reads it by
# enumerating subkeys by index, so a certificate removed while another program opens the store
# can hide a third one from it (a spurious "unable to get local issuer certificate"): those
# tests hold this lock, one at a time.
set(ORV_ROOT_STORE_LOCK "prefix_root_store" CACHE INTERNAL "")
