# Benchmark programs (not tests): bench/bare_copy.exe, the yardstick of
# scripts/bench-copy.sh.
add_executable(bench_bare_copy ${CMAKE_CURRENT_LIST_DIR}/bare_copy.cpp)
set_target_properties(bench_bare_copy PROPERTIES
  OUTPUT_NAME bare_copy
  RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bench)
target_compile_options(bench_bare_copy PRIVATE ${SETUP_WARNINGS} -O2)
target_link_options(bench_bare_copy PRIVATE -static)
