# The independent test key service. The fixture tests start it before the tests that need it and stop
# it after them; its state folder (service.json, CA file, log) is ${VX_KEYSERVICE_DIR}.
set(VX_KEYSERVICE_DIR "${CMAKE_BINARY_DIR}/keyservice")
set(VX_KEYSERVICE_SCRIPT "${CMAKE_CURRENT_LIST_DIR}/keyservice.py")

# Properties of every test that talks to the service: it needs the fixture, never runs beside another
# such test (faults are global), and finds the service through VX_KEYSERVICE_DIR. Pass them to
# set_tests_properties(... PROPERTIES ${VX_KEYSERVICE_TEST_PROPERTIES}) or to
# gtest_discover_tests(... PROPERTIES ${VX_KEYSERVICE_TEST_PROPERTIES}).
set(VX_KEYSERVICE_TEST_PROPERTIES
  FIXTURES_REQUIRED keyservice
  RESOURCE_LOCK keyservice
  ENVIRONMENT "VX_KEYSERVICE_DIR=${VX_KEYSERVICE_DIR}")

add_test(NAME keyservice_start
  COMMAND ${Python3_EXECUTABLE} ${VX_KEYSERVICE_SCRIPT} start --dir ${VX_KEYSERVICE_DIR})
set_tests_properties(keyservice_start PROPERTIES FIXTURES_SETUP keyservice LABELS keyservice TIMEOUT 90)

add_test(NAME keyservice_stop
  COMMAND ${Python3_EXECUTABLE} ${VX_KEYSERVICE_SCRIPT} stop --dir ${VX_KEYSERVICE_DIR})
set_tests_properties(keyservice_stop PROPERTIES FIXTURES_CLEANUP keyservice LABELS keyservice TIMEOUT 30)

add_test(NAME keyservice_selftest
  COMMAND ${Python3_EXECUTABLE} ${CMAKE_CURRENT_LIST_DIR}/selftest.py)
set_tests_properties(keyservice_selftest PROPERTIES
  ${VX_KEYSERVICE_TEST_PROPERTIES} LABELS "comm;keyservice" TIMEOUT 180)
