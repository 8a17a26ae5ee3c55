# The second direction of the interop vectors: the library writes every text form, and
# tests/vectors/crypto_vectors.py checks with Python `cryptography` what it wrote.
add_executable(crypto_write_vectors "${CMAKE_CURRENT_LIST_DIR}/vector_export/write_our_vectors.cpp")
target_link_libraries(crypto_write_vectors PRIVATE vxmeta)
target_compile_definitions(crypto_write_vectors PRIVATE VX_SOURCE_DIR="${CMAKE_SOURCE_DIR}")
vx_warnings(crypto_write_vectors)

set(vx_crypto_ours "${CMAKE_CURRENT_BINARY_DIR}/crypto_vectors_ours.json")
add_test(NAME crypto.vectors.write COMMAND crypto_write_vectors "${vx_crypto_ours}")
set_tests_properties(crypto.vectors.write PROPERTIES LABELS crypto FIXTURES_SETUP crypto_ours)
add_test(NAME crypto.vectors.check
         COMMAND "${Python3_EXECUTABLE}" "${CMAKE_SOURCE_DIR}/tests/vectors/crypto_vectors.py" check "${vx_crypto_ours}")
set_tests_properties(crypto.vectors.check PROPERTIES LABELS crypto FIXTURES_REQUIRED crypto_ours)
