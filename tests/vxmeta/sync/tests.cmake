# The synchronization tests answer requests through the in-process transport of the request pipeline's
# tests.
target_sources(test_sync PRIVATE ${CMAKE_CURRENT_LIST_DIR}/../comm/fake_transport.cpp)
