# VX_FUZZ: every target built after this point carries libFuzzer's coverage instrumentation, so the
# fuzz targets of tests/fuzz/ see into the client library. Needs clang (libFuzzer ships with it).
if(VX_FUZZ)
  if(NOT CMAKE_CXX_COMPILER_ID MATCHES "Clang")
    message(FATAL_ERROR "VX_FUZZ needs clang (CMAKE_CXX_COMPILER=clang++): libFuzzer ships with it")
  endif()
  add_compile_options(-fsanitize=fuzzer-no-link)
endif()
