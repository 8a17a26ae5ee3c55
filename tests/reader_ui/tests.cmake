# The application's tests. QtTest programs run on the offscreen platform; pictures of their windows go
# to ${CMAKE_BINARY_DIR}/test-artifacts.
set(VX_ARTIFACT_DIR "${CMAKE_BINARY_DIR}/test-artifacts")
file(MAKE_DIRECTORY "${VX_ARTIFACT_DIR}")
find_package(Qt6 6.4 REQUIRED COMPONENTS Test)
find_program(VX_DBUS_RUN_SESSION dbus-run-session REQUIRED)

file(GLOB reader_tests CONFIGURE_DEPENDS "${CMAKE_CURRENT_LIST_DIR}/../reader/*.cpp")
add_executable(test_reader ${reader_tests})
target_link_libraries(test_reader PRIVATE TarvexReaderCore GTest::gtest GTest::gtest_main)
vx_warnings(test_reader)
gtest_discover_tests(test_reader PROPERTIES LABELS reader DISCOVERY_TIMEOUT 60)

set(VX_READER_TEST_ENVIRONMENT
  "QT_QPA_PLATFORM=offscreen"
  "VX_ARTIFACT_DIR=${VX_ARTIFACT_DIR}"
  "LSAN_OPTIONS=suppressions=${CMAKE_CURRENT_LIST_DIR}/leak_suppressions.txt")

add_library(reader_ui_support STATIC "${CMAKE_CURRENT_LIST_DIR}/reader_test_support.cpp")
target_include_directories(reader_ui_support PUBLIC "${CMAKE_CURRENT_LIST_DIR}/..")
target_link_libraries(reader_ui_support PUBLIC TarvexReaderCore Qt6::Test)
target_compile_definitions(reader_ui_support PUBLIC
  VX_SOURCE_DIR="${CMAKE_SOURCE_DIR}"
  VX_NOTIFICATION_SERVICE="$<TARGET_FILE:test_notification_service>")
vx_warnings(reader_ui_support)

add_executable(test_notification_service "${CMAKE_CURRENT_LIST_DIR}/notification_service/test_notification_service.cpp")
target_link_libraries(test_notification_service PRIVATE Qt6::Core Qt6::DBus)
set_target_properties(test_notification_service PROPERTIES AUTOMOC ON)
vx_warnings(test_notification_service)

foreach(name progress_window passphrase main_window pipeline notifications)
  add_executable(test_reader_${name} "${CMAKE_CURRENT_LIST_DIR}/${name}_test.cpp")
  set_target_properties(test_reader_${name} PROPERTIES AUTOMOC ON)
  target_link_libraries(test_reader_${name} PRIVATE reader_ui_support)
  add_dependencies(test_reader_${name} test_notification_service)
  vx_warnings(test_reader_${name})
  add_test(NAME reader_ui_${name} COMMAND ${VX_DBUS_RUN_SESSION} -- $<TARGET_FILE:test_reader_${name}>)
  set_tests_properties(reader_ui_${name} PROPERTIES LABELS "reader;ui" ENVIRONMENT "${VX_READER_TEST_ENVIRONMENT}"
                                                    TIMEOUT 300)
endforeach()

# The account windows against the test key service and the desktop's real secret store (gnome-keyring
# in the test's own session bus, which run_with_secret_service.sh starts).
add_executable(test_reader_accounts "${CMAKE_CURRENT_LIST_DIR}/accounts_test.cpp")
set_target_properties(test_reader_accounts PROPERTIES AUTOMOC ON)
target_include_directories(test_reader_accounts PRIVATE "${CMAKE_SOURCE_DIR}/tests")
target_link_libraries(test_reader_accounts PRIVATE reader_ui_support vx_test_support GTest::gtest)
# The demo's key maker makes the managed key and archive password of the end-to-end test.
target_compile_definitions(test_reader_accounts PRIVATE
  VX_MANAGED_KEY_TOOL="$<TARGET_FILE:managed-key-archive-password>")
add_dependencies(test_reader_accounts managed-key-archive-password)
vx_warnings(test_reader_accounts)
add_test(NAME reader_ui_accounts
         COMMAND "${CMAKE_SOURCE_DIR}/tests/reader/credentials/secret_service/run_with_secret_service.sh"
                 $<TARGET_FILE:test_reader_accounts>)
set_tests_properties(reader_ui_accounts PROPERTIES
  LABELS "reader;ui" TIMEOUT 300 SKIP_RETURN_CODE 77
  FIXTURES_REQUIRED keyservice RESOURCE_LOCK keyservice
  ENVIRONMENT "QT_QPA_PLATFORM=offscreen;VX_ARTIFACT_DIR=${VX_ARTIFACT_DIR};VX_KEYSERVICE_DIR=${VX_KEYSERVICE_DIR};ASAN_OPTIONS=fast_unwind_on_malloc=0;LSAN_OPTIONS=suppressions=${CMAKE_CURRENT_LIST_DIR}/accounts_leak_suppressions.txt:print_suppressions=0")
