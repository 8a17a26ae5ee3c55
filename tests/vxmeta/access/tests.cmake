# Library start, challenge authorization, the private key and the access checks against the test key
# service over HTTPS: a program of its own, over the framework's transport, with the service fixture.
file(GLOB access_service_tests CONFIGURE_DEPENDS "${CMAKE_CURRENT_LIST_DIR}/service/*.cpp")
add_executable(test_access_service ${access_service_tests})
target_include_directories(test_access_service PRIVATE "${CMAKE_CURRENT_SOURCE_DIR}")
target_link_libraries(test_access_service PRIVATE vx_test_support Vorlane CURL::libcurl GTest::gtest GTest::gtest_main)
vx_warnings(test_access_service)
gtest_discover_tests(test_access_service
  PROPERTIES LABELS access ${VX_KEYSERVICE_TEST_PROPERTIES} TIMEOUT 120
  DISCOVERY_TIMEOUT 60)
