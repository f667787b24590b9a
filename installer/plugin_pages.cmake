# The wizard pages' images: flags and the components page's picture strip, drawn at build time
# by res/make_page_images.py (with the example installer's banner), compiled into the plug-in
# from res/page_images.rc.
find_package(Python3 REQUIRED COMPONENTS Interpreter)

set(ORV_PAGE_IMAGES_DIR ${CMAKE_BINARY_DIR}/installer/page-images)
set(ORV_PAGE_IMAGES_RC ${CMAKE_CURRENT_LIST_DIR}/res/page_images.rc)
set(ORV_PAGE_IMAGES)
foreach(_id 2001 2002 2003 2004 2005 2014 2016 2017 2018)
  list(APPEND ORV_PAGE_IMAGES ${ORV_PAGE_IMAGES_DIR}/flag_${_id}.png)
endforeach()
list(APPEND ORV_PAGE_IMAGES ${ORV_PAGE_IMAGES_DIR}/components.bmp)
add_custom_command(OUTPUT ${ORV_PAGE_IMAGES} ${ORV_PAGE_IMAGES_DIR}/banner.png
  COMMAND "${Python3_EXECUTABLE}" ${CMAKE_CURRENT_LIST_DIR}/res/make_page_images.py --out ${ORV_PAGE_IMAGES_DIR}
  DEPENDS ${CMAKE_CURRENT_LIST_DIR}/res/make_page_images.py
  COMMENT "Drawing the installer pages' flags and banner")
add_custom_target(orv_page_images DEPENDS ${ORV_PAGE_IMAGES} ${ORV_PAGE_IMAGES_DIR}/banner.png)

# orv_page_images_for(<target>): the target's resources include page_images.rc.
function(orv_page_images_for target)
  add_dependencies(${target} orv_page_images)
  target_include_directories(${target} PRIVATE ${ORV_PAGE_IMAGES_DIR})
endfunction()

target_sources(GWPlugin PRIVATE ${ORV_PAGE_IMAGES_RC})
set_source_files_properties(${ORV_PAGE_IMAGES_RC} PROPERTIES OBJECT_DEPENDS "${ORV_PAGE_IMAGES}")
orv_page_images_for(GWPlugin)
# The example installer and the banner of its progress page, kept up to date in the dist folder
# whenever either changes (the plug-in's own copy step runs only when the DLL is linked).
add_custom_command(OUTPUT ${ORV_DIST}/banner.png ${ORV_DIST}/webinstaller.nsi
  COMMAND ${CMAKE_COMMAND} -E make_directory ${ORV_DIST}
  COMMAND ${CMAKE_COMMAND} -E copy_if_different ${ORV_PAGE_IMAGES_DIR}/banner.png ${ORV_DIST}/banner.png
  COMMAND ${CMAKE_COMMAND} -E copy_if_different ${CMAKE_CURRENT_LIST_DIR}/example/webinstaller.nsi ${ORV_DIST}/webinstaller.nsi
  DEPENDS ${ORV_PAGE_IMAGES_DIR}/banner.png ${CMAKE_CURRENT_LIST_DIR}/example/webinstaller.nsi
  COMMENT "Copying the example web installer and its banner to ${ORV_DIST}")
add_custom_target(orv_example_installer ALL DEPENDS ${ORV_DIST}/banner.png ${ORV_DIST}/webinstaller.nsi)
if(TARGET GWPluginTest)
  orv_page_images_for(GWPluginTest)
endif()
