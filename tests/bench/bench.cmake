# Benchmark programs (not tests): bench/bare_copy.exe, the yardstick of
# scripts/bench-copy.sh, bench/blank_dialog.exe, that of
# scripts/bench-startup.sh, and bench/bare_hash.exe, that of
# scripts/bench-seal.sh.
add_executable(bench_bare_copy ${CMAKE_CURRENT_LIST_DIR}/bare_copy.cpp)
set_target_properties(bench_bare_copy PROPERTIES
  OUTPUT_NAME bare_copy
  RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bench)
target_compile_options(bench_bare_copy PRIVATE ${SETUP_WARNINGS} -O2)
target_link_options(bench_bare_copy PRIVATE -static)

add_executable(bench_blank_dialog WIN32 ${CMAKE_CURRENT_LIST_DIR}/blank_dialog.cpp)
set_target_properties(bench_blank_dialog PROPERTIES
  OUTPUT_NAME blank_dialog
  RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bench)
target_compile_options(bench_blank_dialog PRIVATE ${SETUP_WARNINGS} -O2)
target_link_options(bench_blank_dialog PRIVATE -static)

add_executable(bench_bare_hash ${CMAKE_CURRENT_LIST_DIR}/bare_hash.cpp)
set_target_properties(bench_bare_hash PROPERTIES
  OUTPUT_NAME bare_hash
  RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bench)
target_compile_options(bench_bare_hash PRIVATE ${SETUP_WARNINGS} -O2)
target_link_options(bench_bare_hash PRIVATE -static -municode)
target_link_libraries(bench_bare_hash PRIVATE bcrypt)
