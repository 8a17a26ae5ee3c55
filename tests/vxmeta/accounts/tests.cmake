# Sign-in, server discovery and identity look-ups against the test key service over HTTPS.
file(GLOB accounts_service_tests CONFIGURE_DEPENDS "${CMAKE_CURRENT_LIST_DIR}/service/*.cpp")
add_executable(test_accounts_service ${accounts_service_tests})
target_include_directories(test_accounts_service PRIVATE "${CMAKE_CURRENT_SOURCE_DIR}")
target_link_libraries(test_accounts_service PRIVATE vx_test_support Vorlane CURL::libcurl GTest::gtest GTest::gtest_main)
target_compile_definitions(test_accounts_service PRIVATE
  VX_SOURCE_DIR="${CMAKE_SOURCE_DIR}"
  VX_PYTHON="${Python3_EXECUTABLE}")
vx_warnings(test_accounts_service)
gtest_discover_tests(test_accounts_service
  PROPERTIES LABELS accounts ${VX_KEYSERVICE_TEST_PROPERTIES} TIMEOUT 120
  DISCOVERY_TIMEOUT 60)
