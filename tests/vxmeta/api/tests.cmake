# The API object and its reports against the test key service over HTTPS: a program of its own, over the framework's
# transport, with the service fixture.
find_package(CURL REQUIRED)
file(GLOB api_service_tests CONFIGURE_DEPENDS "${CMAKE_CURRENT_LIST_DIR}/service/*.cpp")
add_executable(test_api_service ${api_service_tests})
target_include_directories(test_api_service PRIVATE "${CMAKE_CURRENT_SOURCE_DIR}")
target_link_libraries(test_api_service PRIVATE vx_test_support Vorlane CURL::libcurl GTest::gtest GTest::gtest_main)
# The managed-key fixture's Python check of wrapped keys.
target_compile_definitions(test_api_service PRIVATE
  VX_SOURCE_DIR="${CMAKE_SOURCE_DIR}"
  VX_PYTHON="${Python3_EXECUTABLE}")
vx_warnings(test_api_service)
gtest_discover_tests(test_api_service
  PROPERTIES LABELS api ${VX_KEYSERVICE_TEST_PROPERTIES} TIMEOUT 180
  DISCOVERY_TIMEOUT 60)
