# The synchronization cycle against the test key service over HTTPS: a program of its own, over the
# framework's transport, with the service fixture.
find_package(CURL REQUIRED)
file(GLOB sync_service_tests CONFIGURE_DEPENDS "${CMAKE_CURRENT_LIST_DIR}/service/*.cpp")
add_executable(test_sync_service ${sync_service_tests})
target_include_directories(test_sync_service PRIVATE "${CMAKE_CURRENT_SOURCE_DIR}")
target_link_libraries(test_sync_service PRIVATE vx_test_support Vorlane CURL::libcurl GTest::gtest GTest::gtest_main)
# Python checks what the client wrapped.
target_compile_definitions(test_sync_service PRIVATE
  VX_SOURCE_DIR="${CMAKE_SOURCE_DIR}"
  VX_PYTHON="${Python3_EXECUTABLE}")
vx_warnings(test_sync_service)
gtest_discover_tests(test_sync_service
  PROPERTIES LABELS sync ${VX_KEYSERVICE_TEST_PROPERTIES} TIMEOUT 180
  DISCOVERY_TIMEOUT 60)
