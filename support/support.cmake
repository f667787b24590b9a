# The plug-in's support library: files and buffers, SHA-256, text conversion, locales, versions
# and the XML object reader. No window code. (The download task builds its own library, orv_download.)
add_library(orv_support STATIC
  ${CMAKE_CURRENT_LIST_DIR}/ByteBuffer.cpp
  ${CMAKE_CURRENT_LIST_DIR}/Files.cpp
  ${CMAKE_CURRENT_LIST_DIR}/LocaleCatalog.cpp
  ${CMAKE_CURRENT_LIST_DIR}/LocalizedText.cpp
  ${CMAKE_CURRENT_LIST_DIR}/MemoryStream.cpp
  ${CMAKE_CURRENT_LIST_DIR}/Sha256.cpp
  ${CMAKE_CURRENT_LIST_DIR}/TextConversion.cpp
  ${CMAKE_CURRENT_LIST_DIR}/VersionNumber.cpp
  ${CMAKE_CURRENT_LIST_DIR}/XmlObjectReader.cpp
  ${CMAKE_CURRENT_LIST_DIR}/XmlPrescan.cpp
  ${CMAKE_CURRENT_LIST_DIR}/XmlPropertyNode.cpp)
target_include_directories(orv_support PUBLIC ${CMAKE_CURRENT_LIST_DIR})
target_link_libraries(orv_support PUBLIC orv_handles dep_tinyxml dep_boost dep_crypto ole32 oleaut32 uuid)
orv_strict(orv_support)
