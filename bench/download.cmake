# 256 MiB over loopback HTTPS: FileDownloadTask to a file and to memory against a bare
# libcurl transfer. Needs a fast server: bench/bench_download.runner runs it under
# bench/with-body-server (nginx, with native curl's figures for the same server).
add_executable(bench_download ${CMAKE_CURRENT_LIST_DIR}/download.cpp)
target_link_libraries(bench_download PRIVATE orv_download orv_testgateway)
set_target_properties(bench_download PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bench)
orv_strict(bench_download)
# scripts/run-bench runs "<bench>.runner WINE-RUN BENCH.exe" where such a runner exists.
file(CONFIGURE OUTPUT ${CMAKE_BINARY_DIR}/bench/bench_download.runner
     CONTENT "#!/bin/sh\n# Runs the download benchmark with nginx serving a 256 MiB body.\nexec \"${CMAKE_CURRENT_LIST_DIR}/with-body-server\" 256 \"$@\"\n")
file(CHMOD ${CMAKE_BINARY_DIR}/bench/bench_download.runner
     PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
