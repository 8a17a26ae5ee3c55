# The record tests answer requests through the in-process transport of the request pipeline's tests,
# and the integration test talks to the test key service.
target_sources(test_records PRIVATE ${CMAKE_CURRENT_LIST_DIR}/../comm/fake_transport.cpp)
