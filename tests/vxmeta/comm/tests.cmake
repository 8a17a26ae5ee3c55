# The request pipeline and the framework's HTTPS transport against the test key service. A program of
# its own: it links the framework library, and its tests need the service fixture.
find_package(CURL REQUIRED)
file(GLOB comm_service_tests CONFIGURE_DEPENDS "${CMAKE_CURRENT_LIST_DIR}/service/*.cpp")
add_executable(test_comm_service ${comm_service_tests})
target_include_directories(test_comm_service PRIVATE "${CMAKE_CURRENT_SOURCE_DIR}")
target_link_libraries(test_comm_service PRIVATE vx_test_support Vorlane CURL::libcurl OpenSSL::SSL GTest::gtest GTest::gtest_main)
vx_warnings(test_comm_service)
gtest_discover_tests(test_comm_service
  PROPERTIES LABELS comm ${VX_KEYSERVICE_TEST_PROPERTIES} TIMEOUT 120
  DISCOVERY_TIMEOUT 60)
