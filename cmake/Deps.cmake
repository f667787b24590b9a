# Imported targets over the libraries that scripts/build-deps cross-built.
function(orv_import name lib root)
  add_library(${name} STATIC IMPORTED GLOBAL)
  set_target_properties(${name} PROPERTIES
    IMPORTED_LOCATION "${root}/lib/${lib}"
    INTERFACE_INCLUDE_DIRECTORIES "${root}/include")
endfunction()

orv_import(dep_ssl    libssl.a     "${ORV_OPENSSL_ROOT}")
orv_import(dep_crypto libcrypto.a  "${ORV_OPENSSL_ROOT}")
set_property(TARGET dep_crypto PROPERTY INTERFACE_LINK_LIBRARIES ws2_32 crypt32 bcrypt)
set_property(TARGET dep_ssl PROPERTY INTERFACE_LINK_LIBRARIES dep_crypto)

orv_import(dep_curl libcurl.a "${ORV_CURL_ROOT}")
set_target_properties(dep_curl PROPERTIES
  INTERFACE_COMPILE_DEFINITIONS CURL_STATICLIB
  INTERFACE_LINK_LIBRARIES "dep_ssl;dep_crypto;ws2_32;crypt32;bcrypt;wldap32;iphlpapi")

orv_import(dep_tinyxml libtinyxml.a "${ORV_TINYXML_ROOT}")
set_property(TARGET dep_tinyxml PROPERTY INTERFACE_COMPILE_DEFINITIONS TIXML_USE_STL)

add_library(dep_boost INTERFACE IMPORTED GLOBAL)
set_target_properties(dep_boost PROPERTIES
  INTERFACE_INCLUDE_DIRECTORIES "${ORV_BOOST_ROOT}/include"
  INTERFACE_COMPILE_DEFINITIONS "BOOST_ALL_NO_LIB;BOOST_THREAD_USE_LIB;BOOST_THREAD_WIN32")
# Boost's headers are not ours: keep their warnings out of the build log.
set_property(TARGET dep_boost PROPERTY INTERFACE_SYSTEM_INCLUDE_DIRECTORIES "${ORV_BOOST_ROOT}/include")
orv_import(dep_boost_thread libboost_thread.a "${ORV_BOOST_ROOT}")
set_property(TARGET dep_boost_thread PROPERTY INTERFACE_LINK_LIBRARIES dep_boost)

orv_import(dep_gtest      libgtest.a      "${ORV_GTEST_ROOT}")
orv_import(dep_gtest_main libgtest_main.a "${ORV_GTEST_ROOT}")
orv_import(dep_gmock      libgmock.a      "${ORV_GTEST_ROOT}")
set_property(TARGET dep_gtest_main PROPERTY INTERFACE_LINK_LIBRARIES dep_gtest)
set_property(TARGET dep_gmock PROPERTY INTERFACE_LINK_LIBRARIES dep_gtest)
