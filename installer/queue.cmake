# The install queue (downloads, installer runs) and the task log, part of the plug-in's core.
target_sources(orv_plugin_core PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/InstallQueue.cpp
  ${CMAKE_CURRENT_LIST_DIR}/TaskLog.cpp)
target_link_libraries(orv_plugin_core PUBLIC orv_download orv_win shell32)

# The queue's own texts, in a resource script of their own.
set(ORV_QUEUE_RC ${CMAKE_CURRENT_LIST_DIR}/res/queue_strings.rc)
target_sources(GWPlugin PRIVATE ${ORV_QUEUE_RC})
