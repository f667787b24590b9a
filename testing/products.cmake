# Tiny product installers for the install queue's tests and benchmark, built with makensis
# from testing/products/product.nsi into ${CMAKE_BINARY_DIR}/queue-products/, which the
# local gateway serves (with-gateway --root). Target: orv_test_products.
find_program(ORV_PRODUCTS_MAKENSIS makensis)
if(ORV_PRODUCTS_MAKENSIS)
  if(CMAKE_SIZEOF_VOID_P EQUAL 8)
    set(_products_target amd64-unicode)
  else()
    set(_products_target x86-unicode)
  endif()
  set(_products_script ${CMAKE_CURRENT_LIST_DIR}/products/product.nsi)
  # name | catalogue id | product key | version
  set(_products
    "app_helm|ORVEL_HELM|Software\\Orvel\\Orvel Helmstand|2.1.0.0"
    "app_parlon|ORVEL_PARLON|Software\\Orvel\\Orvel Parlon|1.4.0.0"
    "voice_elbe|VOICE_ELBE|Software\\Orvel\\Orvel 2 Vokant\\Elbe|1.6.2.0"
    "voice_hudson|VOICE_HUDSON|Software\\Orvel\\Orvel 2 Vokant\\Hudson|1.6.2.0"
    "voice_loire|VOICE_LOIRE|Software\\Orvel\\Orvel Vokant\\Loire|1.2.0.0"
    "voice_thames|VOICE_THAMES|Software\\Orvel\\Orvel 2 Vokant\\Thames|1.6.2.0"
    "voice_wisla|VOICE_WISLA|Software\\Orvel\\Orvel 2 Vokant\\Wisla|1.6.2.0")
  set(_product_files)
  foreach(_product IN LISTS _products)
    string(REPLACE "|" ";" _fields "${_product}")
    list(GET _fields 0 _name)
    list(GET _fields 1 _id)
    list(GET _fields 2 _key)
    list(GET _fields 3 _version)
    set(_out ${ORV_PRODUCTS_DIR}/${_name}.exe)
    add_custom_command(OUTPUT ${_out}
      COMMAND ${CMAKE_COMMAND} -E make_directory ${ORV_PRODUCTS_DIR}
      COMMAND ${ORV_PRODUCTS_MAKENSIS} -V2 -DTARGET=${_products_target} -DID=${_id} "-DKEY=${_key}"
              -DVERSION=${_version} -DOUT_FILE=${_out} ${_products_script}
      DEPENDS ${_products_script}
      COMMENT "Building the test product installer ${_name}.exe"
      VERBATIM)
    list(APPEND _product_files ${_out})
  endforeach()
  add_custom_target(orv_test_products DEPENDS ${_product_files})
else()
  message(STATUS "makensis not found: the install queue's product installers are not built")
  add_custom_target(orv_test_products)
endif()
