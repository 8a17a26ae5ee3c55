# The records against the test key service: a program of its own, over the framework's HTTPS
# transport, with the service fixture.
file(GLOB records_service_tests CONFIGURE_DEPENDS "${CMAKE_CURRENT_LIST_DIR}/service/*.cpp")
add_executable(test_records_service ${records_service_tests})
target_include_directories(test_records_service PRIVATE "${CMAKE_CURRENT_SOURCE_DIR}")
target_link_libraries(test_records_service PRIVATE vx_test_support Vorlane CURL::libcurl GTest::gtest GTest::gtest_main)
vx_warnings(test_records_service)
gtest_discover_tests(test_records_service
  PROPERTIES LABELS records ${VX_KEYSERVICE_TEST_PROPERTIES} TIMEOUT 120
  DISCOVERY_TIMEOUT 60)
