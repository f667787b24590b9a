# The file download task: HTTP(S) transfers over libcurl on a worker thread of their own.
add_library(orv_download STATIC ${CMAKE_CURRENT_LIST_DIR}/FileDownloadTask.cpp)
target_include_directories(orv_download PUBLIC ${CMAKE_CURRENT_LIST_DIR})
target_link_libraries(orv_download PUBLIC orv_handles orv_support dep_curl dep_boost_thread dep_boost)
orv_strict(orv_download)
