# Native tree: the text-processing code with AddressSanitizer and
# UndefinedBehaviorSanitizer, its unit tests and the libFuzzer targets.
set(SETUP_SANITIZE -fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer -g -O1)

file(GLOB SETUP_NATIVE_SUPPORT CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/native/support/*.cpp)
add_library(setup_core STATIC ${SETUP_CORE_SOURCES} ${SETUP_NATIVE_SUPPORT}
            ${CMAKE_SOURCE_DIR}/src/app/crypto_openssl.cpp
            ${CMAKE_SOURCE_DIR}/src/seal/package_files_posix.cpp)
find_package(OpenSSL QUIET COMPONENTS Crypto)
if(OPENSSL_CRYPTO_LIBRARY)
  target_compile_definitions(setup_core PRIVATE SETUP_HAVE_OPENSSL)
  target_link_libraries(setup_core PUBLIC OpenSSL::Crypto)
endif()
target_include_directories(setup_core PUBLIC ${CMAKE_SOURCE_DIR}/src ${CMAKE_SOURCE_DIR}/tests)
# Coverage instrumentation of the code under test lets the fuzz targets
# steer; the sanitizer runtime serves it in the plain test programs too.
target_compile_options(setup_core PUBLIC ${SETUP_SANITIZE} PRIVATE ${SETUP_WARNINGS} -fsanitize=fuzzer-no-link)
target_link_options(setup_core PUBLIC -fsanitize=address,undefined)

set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
include(GoogleTest)

file(GLOB SETUP_NATIVE_TESTS CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/native/*.cpp)
if(SETUP_NATIVE_TESTS)
  add_executable(native_tests ${SETUP_NATIVE_TESTS})
  target_link_libraries(native_tests PRIVATE setup_core gtest gtest_main)
  gtest_discover_tests(native_tests TEST_PREFIX "native." DISCOVERY_TIMEOUT 60)
endif()

set(SETUP_FUZZ_SECONDS "$ENV{FUZZ_SECONDS}")
if(NOT SETUP_FUZZ_SECONDS)
  set(SETUP_FUZZ_SECONDS 60)
endif()
file(GLOB SETUP_FUZZ_TARGETS CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/fuzz/*_fuzz.cpp)
foreach(src ${SETUP_FUZZ_TARGETS})
  get_filename_component(name ${src} NAME_WE)
  add_executable(${name} ${src})
  target_link_libraries(${name} PRIVATE setup_core)
  target_compile_options(${name} PRIVATE -fsanitize=fuzzer)
  target_link_options(${name} PRIVATE -fsanitize=fuzzer)
  file(MAKE_DIRECTORY ${CMAKE_BINARY_DIR}/corpus/${name})
  # Committed seeds (read only) start the search where the formats are.
  set(seeds "")
  if(IS_DIRECTORY ${CMAKE_SOURCE_DIR}/tests/fuzz/seeds/${name})
    set(seeds ${CMAKE_SOURCE_DIR}/tests/fuzz/seeds/${name})
  endif()
  add_test(NAME fuzz.${name}
           COMMAND ${name} -max_total_time=${SETUP_FUZZ_SECONDS} -timeout=10 -rss_limit_mb=2048
                   -max_len=4096 -print_final_stats=1 ${CMAKE_BINARY_DIR}/corpus/${name} ${seeds})
  set_tests_properties(fuzz.${name} PROPERTIES TIMEOUT 900)
endforeach()
